// SPDX-License-Identifier: MIT
#include "resource_format.hpp"

#include <algorithm>

namespace {

// The word at byte offset `at` of a record image.
template <std::size_t N>
std::uint32_t word_at(std::span<const unsigned char, N> in, std::size_t at)
{
    return load_le32(in.subspan(at).template first<4>());
}

template <std::size_t N>
void put_word(std::span<unsigned char, N> out, std::size_t at, std::uint32_t value)
{
    store_le32(out.subspan(at).template first<4>(), value);
}

} // namespace

void encode_resource_header(const resource_header& header, std::span<unsigned char, RESOURCE_HEADER_SIZE> out)
{
    put_word(out, 0, header.magic);
    put_word(out, 4, header.word1);
    put_word(out, 8, header.word2);
}

resource_header decode_resource_header(std::span<const unsigned char, RESOURCE_HEADER_SIZE> in)
{
    return resource_header{word_at(in, 0), word_at(in, 4), word_at(in, 8)};
}

void encode_body_header(const body_header& header, std::span<unsigned char, BODY_HEADER_SIZE> out)
{
    put_word(out, 0, header.lead);
    put_word(out, 4, header.mark);
}

body_header decode_body_header(std::span<const unsigned char, BODY_HEADER_SIZE> in)
{
    return body_header{word_at(in, 0), word_at(in, 4)};
}

std::array<unsigned char, RESOURCE_FILE_MIN_SIZE> encode_resource_file_head(std::uint32_t word1, std::uint32_t word2)
{
    std::array<unsigned char, RESOURCE_FILE_MIN_SIZE> head{};
    const std::span<unsigned char> bytes(head);
    encode_resource_header({RESOURCE_MAGIC, word1, word2}, bytes.first<RESOURCE_HEADER_SIZE>());
    encode_body_header({0, BODY_MARK}, bytes.subspan<RESOURCE_HEADER_SIZE, BODY_HEADER_SIZE>());
    return head;
}

void encode_set_header(const set_header& header, std::span<unsigned char, SET_HEADER_SIZE> out)
{
    put_word(out, 0, header.magic);
    put_word(out, 4, header.reserved);
    put_word(out, 8, header.count);
    put_word(out, 12, header.keep_count);
    put_word(out, 16, header.keep_end);
}

set_header decode_set_header(std::span<const unsigned char, SET_HEADER_SIZE> in)
{
    return set_header{word_at(in, 0), word_at(in, 4), word_at(in, 8), word_at(in, 12), word_at(in, 16)};
}

void encode_toc_entry(const toc_entry& entry, std::span<unsigned char, TOC_ENTRY_SIZE> out)
{
    std::transform(entry.name.begin(), entry.name.end(), out.begin(),
                   [](char c) { return static_cast<unsigned char>(c); });
    put_word(out, TOC_WORD1_AT, entry.word1);
    put_word(out, TOC_WORD2_AT, entry.word2);
    put_word(out, TOC_SIZE_AT, entry.size);
    put_word(out, TOC_RESERVED1_AT, entry.reserved1);
    put_word(out, TOC_RESERVED2_AT, entry.reserved2);
}

toc_entry decode_toc_entry(std::span<const unsigned char, TOC_ENTRY_SIZE> in)
{
    toc_entry entry;
    std::transform(in.begin(), in.begin() + NAME_FIELD_SIZE, entry.name.begin(),
                   [](unsigned char c) { return static_cast<char>(c); });
    entry.word1 = word_at(in, TOC_WORD1_AT);
    entry.word2 = word_at(in, TOC_WORD2_AT);
    entry.size = word_at(in, TOC_SIZE_AT);
    entry.reserved1 = word_at(in, TOC_RESERVED1_AT);
    entry.reserved2 = word_at(in, TOC_RESERVED2_AT);
    return entry;
}

bool set_entry_name(toc_entry& entry, std::string_view name)
{
    if (name.size() > NAME_MAX_LENGTH || name.find('\0') != std::string_view::npos) {
        return false;
    }
    entry.name.fill('\0');
    std::copy(name.begin(), name.end(), entry.name.begin());
    return true;
}

std::string entry_name(const toc_entry& entry)
{
    const auto end = std::find(entry.name.begin(), entry.name.end(), '\0');
    return std::string(entry.name.begin(), end);
}
