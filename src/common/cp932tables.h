#pragma once

#include <QtGlobal>

#include <array>

// Lookup tables of the code page 932 codec, built once from glibc's iconv "CP932" converter so
// that iconv stays the single source of truth while each conversion is a plain table lookup.
namespace common::cp932::detail {

/// DecodeTable::single: the byte never begins a valid sequence.
inline constexpr char16_t InvalidByte = 0xFFFF;
/// DecodeTable::single: the byte begins a two-byte sequence.
inline constexpr char16_t LeadByte = 0xFFFE;
/// DecodeTable::pair: invalid pair whose second byte starts over (it is read again on its own).
inline constexpr char16_t InvalidLeadOnly = 0xFFFF;
/// DecodeTable::pair: invalid pair that is skipped as a whole.
inline constexpr char16_t InvalidPair = 0xFFFE;
/// EncodeTable::code: no code page 932 form.
inline constexpr quint16 Unrepresentable = 0xFFFF;

struct DecodeTable
{
    std::array<char16_t, 256> single{};     ///< code unit of a single byte, or InvalidByte / LeadByte
    std::array<char16_t, 256 * 256> pair{}; ///< [lead << 8 | trail]: code unit, InvalidLeadOnly or InvalidPair
    bool asciiIdentity = false;             ///< bytes 0x00-0x7F decode to the same code points
};

struct EncodeTable
{
    /// [code unit]: one byte (< 0x100), two bytes (lead << 8 | trail), or Unrepresentable.
    std::array<quint16, 65536> code{};
    bool asciiIdentity = false; ///< U+0000-U+007F encode to the same bytes
};

/// The decoding table, built on first use (thread-safe).
const DecodeTable& decodeTable();

/// The encoding table, built on first use (thread-safe).
const EncodeTable& encodeTable();

} // namespace common::cp932::detail
