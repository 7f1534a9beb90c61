// SPDX-License-Identifier: MIT
#include "resource_format.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<unsigned char>;

template <std::size_t N>
bytes to_vector(const std::array<unsigned char, N>& a)
{
    return bytes(a.begin(), a.end());
}

bytes concat(std::initializer_list<bytes> parts)
{
    bytes out;
    for (const bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

TEST(ByteOrder, WordsAreLittleEndianWhateverTheHost)
{
    std::array<unsigned char, 4> b{};
    store_le32(b, 0x04030201u);
    EXPECT_EQ(to_vector(b), (bytes{0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(load_le32(b), 0x04030201u);

    store_le32(b, 0xFFFFFFFEu);
    EXPECT_EQ(to_vector(b), (bytes{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(load_le32(b), 0xFFFFFFFEu);
}

TEST(Magic, ConstantsSpellTheirCharactersInFileOrder)
{
    std::array<unsigned char, 4> b{};
    store_le32(b, RESOURCE_MAGIC);
    EXPECT_EQ(std::string(b.begin(), b.end()), "0SER");
    store_le32(b, SET_MAGIC);
    EXPECT_EQ(std::string(b.begin(), b.end()), "0TSR");
    store_le32(b, BODY_MARK);
    EXPECT_EQ(std::string(b.begin(), b.end()), "!IGM");
}

// A resource file "a" with words 1 and 2, body_header 00 00 00 00 21 49 47 4D
// and payload "xyz", and the one-entry set made of it.
TEST(WorkedExample, ResourceFileAndSetMatchTheirBytes)
{
    set_header header{SET_MAGIC, 0, 1, 1, 87};
    toc_entry entry;
    ASSERT_TRUE(set_entry_name(entry, "a"));
    entry.word1 = 1;
    entry.word2 = 2;
    entry.size = 3;

    resource_header_bytes rh{};
    encode_resource_header(resource_header{RESOURCE_MAGIC, 1, 2}, rh);
    body_header_bytes bh{};
    encode_body_header(body_header{0, BODY_MARK}, bh);
    const bytes payload{0x78, 0x79, 0x7A};

    const bytes file = concat({to_vector(rh), to_vector(bh), payload});
    const bytes expected_file{0x30, 0x53, 0x45, 0x52, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                              0x00, 0x00, 0x00, 0x00, 0x21, 0x49, 0x47, 0x4D, 0x78, 0x79, 0x7A};
    EXPECT_EQ(file, expected_file);

    set_header_bytes sh{};
    encode_set_header(header, sh);
    toc_entry_bytes te{};
    encode_toc_entry(entry, te);
    const bytes set = concat({to_vector(sh), to_vector(te), to_vector(bh), payload});

    bytes expected_set{0x30, 0x54, 0x53, 0x52, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
                       0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x57, 0x00, 0x00, 0x00};
    expected_set.push_back(0x61);
    expected_set.insert(expected_set.end(), 35, 0x00);
    const bytes words{0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0x00,
                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    expected_set.insert(expected_set.end(), words.begin(), words.end());
    const bytes body{0x00, 0x00, 0x00, 0x00, 0x21, 0x49, 0x47, 0x4D, 0x78, 0x79, 0x7A};
    expected_set.insert(expected_set.end(), body.begin(), body.end());

    ASSERT_EQ(set.size(), 87u);
    EXPECT_EQ(set, expected_set);
}

TEST(SetHeader, ZeroEntrySetIsTwentyBytes)
{
    set_header_bytes sh{};
    encode_set_header(set_header{SET_MAGIC, 0, 0, 0, 20}, sh);
    EXPECT_EQ(to_vector(sh), (bytes{0x30, 0x54, 0x53, 0x52, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x14, 0, 0, 0}));
}

TEST(NameField, ThirtyTwoCharacterNameFillsTheFieldUpToItsTerminator)
{
    const std::string name(32, 'n');
    toc_entry entry;
    ASSERT_TRUE(set_entry_name(entry, name));
    toc_entry_bytes te{};
    encode_toc_entry(entry, te);
    for (std::size_t i = 0; i < 32; ++i) {
        EXPECT_EQ(te[i], 'n') << "byte " << i;
    }
    for (std::size_t i = 32; i < NAME_FIELD_SIZE; ++i) {
        EXPECT_EQ(te[i], 0) << "byte " << i;
    }
    EXPECT_EQ(entry_name(entry), name);
}

TEST(NameField, RefusesWhatTheFieldCannotHoldAndKeepsTheOldName)
{
    toc_entry entry;
    ASSERT_TRUE(set_entry_name(entry, "keep"));
    EXPECT_FALSE(set_entry_name(entry, std::string(33, 'x')));
    EXPECT_FALSE(set_entry_name(entry, std::string("a\0b", 3)));
    EXPECT_EQ(entry_name(entry), "keep");

    // A shorter name replaces a longer one completely: no old bytes remain.
    ASSERT_TRUE(set_entry_name(entry, std::string(20, 'y')));
    ASSERT_TRUE(set_entry_name(entry, "z"));
    toc_entry_bytes te{};
    encode_toc_entry(entry, te);
    EXPECT_EQ(te[0], 'z');
    for (std::size_t i = 1; i < NAME_FIELD_SIZE; ++i) {
        EXPECT_EQ(te[i], 0) << "byte " << i;
    }
}

TEST(NameField, UnterminatedFieldIsTakenAsItsThirtySixBytes)
{
    toc_entry_bytes te{};
    for (std::size_t i = 0; i < NAME_FIELD_SIZE; ++i) {
        te[i] = static_cast<unsigned char>('A' + i % 26);
    }
    const toc_entry entry = decode_toc_entry(te);
    const std::string name = entry_name(entry);
    ASSERT_EQ(name.size(), NAME_FIELD_SIZE);
    EXPECT_EQ(name.substr(0, 4), "ABCD");
    EXPECT_EQ(name.back(), 'J');
}

// Every record survives encode then decode, and decode then encode gives back
// the very bytes, with distinct values in every field so that a swapped or
// misplaced word shows.
TEST(RoundTrip, EveryRecordEncodesAndDecodesToItself)
{
    const resource_header rh{RESOURCE_MAGIC, 0x11223344u, 0xA0B0C0D0u};
    resource_header_bytes rhb{};
    encode_resource_header(rh, rhb);
    const resource_header rh2 = decode_resource_header(rhb);
    EXPECT_EQ(rh2.magic, rh.magic);
    EXPECT_EQ(rh2.word1, rh.word1);
    EXPECT_EQ(rh2.word2, rh.word2);
    EXPECT_EQ(to_vector(rhb), (bytes{0x30, 0x53, 0x45, 0x52, 0x44, 0x33, 0x22, 0x11, 0xD0, 0xC0, 0xB0, 0xA0}));

    const body_header bh{0xDEADBEEFu, BODY_MARK};
    body_header_bytes bhb{};
    encode_body_header(bh, bhb);
    const body_header bh2 = decode_body_header(bhb);
    EXPECT_EQ(bh2.lead, bh.lead);
    EXPECT_EQ(bh2.mark, bh.mark);

    const set_header sh{SET_MAGIC, 5, 4096, 7, 0x7FFFFFFFu};
    set_header_bytes shb{};
    encode_set_header(sh, shb);
    const set_header sh2 = decode_set_header(shb);
    EXPECT_EQ(sh2.magic, sh.magic);
    EXPECT_EQ(sh2.reserved, sh.reserved);
    EXPECT_EQ(sh2.count, sh.count);
    EXPECT_EQ(sh2.keep_count, sh.keep_count);
    EXPECT_EQ(sh2.keep_end, sh.keep_end);

    toc_entry te;
    ASSERT_TRUE(set_entry_name(te, "dir/sub/file.res"));
    te.word1 = 1;
    te.word2 = 0x80000000u;
    te.size = 0xFFFFFFFFu;
    te.reserved1 = 3;
    te.reserved2 = 4;
    toc_entry_bytes teb{};
    encode_toc_entry(te, teb);
    const toc_entry te2 = decode_toc_entry(teb);
    EXPECT_EQ(te2.name, te.name);
    EXPECT_EQ(te2.word1, te.word1);
    EXPECT_EQ(te2.word2, te.word2);
    EXPECT_EQ(te2.size, te.size);
    EXPECT_EQ(te2.reserved1, te.reserved1);
    EXPECT_EQ(te2.reserved2, te.reserved2);
    EXPECT_EQ(teb[44], 0xFF);
    EXPECT_EQ(teb[43], 0x80);
}

TEST(RoundTrip, ArbitraryBytesDecodeAndEncodeBackUnchanged)
{
    toc_entry_bytes in{};
    for (std::size_t i = 0; i < in.size(); ++i) {
        in[i] = static_cast<unsigned char>(i * 37 + 11);
    }
    toc_entry_bytes out{};
    encode_toc_entry(decode_toc_entry(in), out);
    EXPECT_EQ(in, out);

    set_header_bytes sin{};
    for (std::size_t i = 0; i < sin.size(); ++i) {
        sin[i] = static_cast<unsigned char>(255 - i * 7);
    }
    set_header_bytes sout{};
    encode_set_header(decode_set_header(sin), sout);
    EXPECT_EQ(sin, sout);
}

} // namespace
