#pragma once

class QAbstractItemModel;
class QLabel;
class QStatusBar;
class QTableView;
class QWidget;

namespace history::ui {

class tavik_log;

/// The grid of the log viewer as the design has it (and the search window's like it): read only, fixed row
/// heights, no row header.
void setUpLogGrid(QTableView* grid, QAbstractItemModel* model);

/// Tells screen readers what each control of @p viewer is, its client area, status bar and status panel included.
void describeLogViewerControls(tavik_log& viewer, QWidget* client, QStatusBar* status, QLabel* statusPanel);

} // namespace history::ui
