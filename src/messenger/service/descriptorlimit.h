#pragma once

namespace messenger::service {

/**
 * Raises this process's soft limit of open descriptors to its hard limit. A desktop session's soft
 * limit (often 1,024) is far below what the service may need while it sheds a burst of connections;
 * the hard limit is the most it may take without privileges.
 * @return the soft limit in force afterwards, or -1 when it cannot be read.
 */
long long raiseDescriptorLimit();

} // namespace messenger::service
