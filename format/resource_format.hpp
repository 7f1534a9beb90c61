// SPDX-License-Identifier: MIT
// Byte layouts shared by the packer and the extractor: the resource file
// (resource_header, body_header, payload) and the resource set (set_header,
// table of contents, bodies).  Every integer is a 32-bit little-endian word;
// the encoders and decoders below are the only code that knows byte order.
// This library never prints, exits or touches a file.
#ifndef RESOURCE_FORMAT_HPP
#define RESOURCE_FORMAT_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// "0SER": first word of every resource file.
inline constexpr std::uint32_t RESOURCE_MAGIC = 0x52455330U;
// "0TSR": first word of every resource set.
inline constexpr std::uint32_t SET_MAGIC = 0x52535430U;
// "!IGM": second word of the body_header written back by the extractor.
inline constexpr std::uint32_t BODY_MARK = 0x4D474921U;

inline constexpr std::size_t RESOURCE_HEADER_SIZE = 12;
inline constexpr std::size_t BODY_HEADER_SIZE = 8;
inline constexpr std::size_t SET_HEADER_SIZE = 20;
inline constexpr std::size_t TOC_ENTRY_SIZE = 56;

// A name is stored in a 36-byte zero-padded field and holds at most 32 bytes
// followed by its terminator.
inline constexpr std::size_t NAME_FIELD_SIZE = 36;
inline constexpr std::size_t NAME_MAX_LENGTH = 32;

// Where each word of a toc_entry lies in its 56 bytes, after the name field.
inline constexpr std::size_t TOC_WORD1_AT = NAME_FIELD_SIZE;
inline constexpr std::size_t TOC_WORD2_AT = NAME_FIELD_SIZE + 4;
inline constexpr std::size_t TOC_SIZE_AT = NAME_FIELD_SIZE + 8;
inline constexpr std::size_t TOC_RESERVED1_AT = NAME_FIELD_SIZE + 12;
inline constexpr std::size_t TOC_RESERVED2_AT = NAME_FIELD_SIZE + 16;

// The body of a resource is the file from the end of its resource_header on:
// body_header and payload.  A resource file shorter than this holds no body.
inline constexpr std::size_t RESOURCE_FILE_MIN_SIZE = RESOURCE_HEADER_SIZE + BODY_HEADER_SIZE;

// Offsets, sizes and counts are 32-bit words; no set may be longer than the
// largest value they can describe as a signed number.
inline constexpr std::int64_t SET_SIZE_MAX = 2147483647;

// The most entries a set holds.
inline constexpr std::uint32_t SET_ENTRIES_MAX = 4096;

// The layout of a set: the table of count entries follows the header, entry
// index of it at table_entry_offset(index), and the first body follows the
// table, at bodies_start(count).
inline constexpr std::uint64_t table_entry_offset(std::uint32_t index)
{
    return SET_HEADER_SIZE + std::uint64_t{TOC_ENTRY_SIZE} * index;
}

inline constexpr std::uint64_t bodies_start(std::uint32_t count)
{
    return table_entry_offset(count);
}

// The length of a body in the set, body_header and payload, for a payload
// of size bytes.
inline constexpr std::uint64_t body_length(std::uint32_t size)
{
    return std::uint64_t{size} + BODY_HEADER_SIZE;
}

// Where the payload of the body that starts at body_at begins.
inline constexpr std::uint64_t payload_offset(std::uint64_t body_at)
{
    return body_at + BODY_HEADER_SIZE;
}

// Where the body whose payload starts at payload_at begins.
inline constexpr std::uint64_t body_offset(std::uint64_t payload_at)
{
    return payload_at - BODY_HEADER_SIZE;
}

// The payload's length in a resource file of file_length bytes, at least
// RESOURCE_FILE_MIN_SIZE of them.
inline constexpr std::uint64_t payload_length(std::uint64_t file_length)
{
    return file_length - RESOURCE_FILE_MIN_SIZE;
}

// The length of the resource file that holds a payload of size bytes.
inline constexpr std::uint64_t resource_file_length(std::uint32_t size)
{
    return RESOURCE_FILE_MIN_SIZE + std::uint64_t{size};
}

struct resource_header {
    std::uint32_t magic = 0;
    std::uint32_t word1 = 0;
    std::uint32_t word2 = 0;
};

// The 8 bytes between a resource_header and the payload: lead, normally 0,
// and mark, normally BODY_MARK.
struct body_header {
    std::uint32_t lead = 0;
    std::uint32_t mark = 0;
};

struct set_header {
    std::uint32_t magic = 0;
    std::uint32_t reserved = 0;
    std::uint32_t count = 0;
    std::uint32_t keep_count = 0;
    std::uint32_t keep_end = 0;
};

struct toc_entry {
    std::array<char, NAME_FIELD_SIZE> name{};
    std::uint32_t word1 = 0;
    std::uint32_t word2 = 0;
    std::uint32_t size = 0;
    std::uint32_t reserved1 = 0;
    std::uint32_t reserved2 = 0;
};

using resource_header_bytes = std::array<unsigned char, RESOURCE_HEADER_SIZE>;
using body_header_bytes = std::array<unsigned char, BODY_HEADER_SIZE>;
using set_header_bytes = std::array<unsigned char, SET_HEADER_SIZE>;
using toc_entry_bytes = std::array<unsigned char, TOC_ENTRY_SIZE>;

// The only code that knows byte order: a word from, and into, its four
// bytes in a file, lowest first.
inline std::uint32_t load_le32(std::span<const unsigned char, 4> bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8U |
           static_cast<std::uint32_t>(bytes[2]) << 16U | static_cast<std::uint32_t>(bytes[3]) << 24U;
}

inline void store_le32(std::span<unsigned char, 4> bytes, std::uint32_t value)
{
    bytes[0] = static_cast<unsigned char>(value & 0xFFU);
    bytes[1] = static_cast<unsigned char>((value >> 8U) & 0xFFU);
    bytes[2] = static_cast<unsigned char>((value >> 16U) & 0xFFU);
    bytes[3] = static_cast<unsigned char>((value >> 24U) & 0xFFU);
}

// The word at byte offset at of a stored toc_entry, for readers that take
// one field of many entries without decoding each whole.
inline std::uint32_t toc_entry_word(std::span<const unsigned char, TOC_ENTRY_SIZE> in, std::size_t at)
{
    return load_le32(in.subspan(at).first<4>());
}

void encode_resource_header(const resource_header& header, std::span<unsigned char, RESOURCE_HEADER_SIZE> out);
resource_header decode_resource_header(std::span<const unsigned char, RESOURCE_HEADER_SIZE> in);

void encode_body_header(const body_header& header, std::span<unsigned char, BODY_HEADER_SIZE> out);
body_header decode_body_header(std::span<const unsigned char, BODY_HEADER_SIZE> in);

// The first 20 bytes of a resource file as the tools write it: the
// resource_header with these words, then the usual body_header.
std::array<unsigned char, RESOURCE_FILE_MIN_SIZE> encode_resource_file_head(std::uint32_t word1, std::uint32_t word2);

void encode_set_header(const set_header& header, std::span<unsigned char, SET_HEADER_SIZE> out);
set_header decode_set_header(std::span<const unsigned char, SET_HEADER_SIZE> in);

void encode_toc_entry(const toc_entry& entry, std::span<unsigned char, TOC_ENTRY_SIZE> out);
toc_entry decode_toc_entry(std::span<const unsigned char, TOC_ENTRY_SIZE> in);

// Stores name in the entry's field, zero-padded.  False, leaving the field
// untouched, when the name is longer than NAME_MAX_LENGTH or holds a zero byte.
bool set_entry_name(toc_entry& entry, std::string_view name);

// The stored name: the bytes before the first zero byte, or all 36 bytes of
// the field when it holds no terminator.
std::string entry_name(const toc_entry& entry);

#endif
