// SPDX-License-Identifier: MIT
// The SDL2 stream of a resource, through the real SDL: a BMP loaded from a
// set, and the stream's size, seek, read, write and close.
#include "resource_set_sdl.h"
#include "set_maker.hpp"

#include <SDL.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class SdlStream : public testing::Test {
protected:
    fs::path folder;
    resource_set* set = nullptr;

    void SetUp() override
    {
        folder = test_folder();
    }
    void TearDown() override
    {
        resource_set_close(set);
        fs::remove_all(folder);
    }
    void open(const std::vector<resource>& resources)
    {
        const fs::path path = folder / "s.set";
        make_set(path, resources);
        ASSERT_EQ(resource_set_open(path.string().c_str(), &set), RESOURCE_SET_OK);
    }
};

// A 3 x 2 picture, 24 bits a pixel, each pixel of its own colour, as SDL
// saves it.
std::string bitmap()
{
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 3, 2, 24, SDL_PIXELFORMAT_BGR24);
    for (int y = 0; y < 2; ++y) {
        auto* row = static_cast<Uint8*>(surface->pixels) + y * surface->pitch;
        for (int x = 0; x < 3; ++x) {
            row[3 * x] = static_cast<Uint8>(10 * x);
            row[3 * x + 1] = static_cast<Uint8>(100 + y);
            row[3 * x + 2] = static_cast<Uint8>(200 + x + y);
        }
    }
    std::vector<char> memory(4096);
    SDL_RWops* out = SDL_RWFromMem(memory.data(), static_cast<int>(memory.size()));
    SDL_SaveBMP_RW(surface, out, 0);
    const Sint64 length = SDL_RWtell(out);
    SDL_RWclose(out);
    SDL_FreeSurface(surface);
    return {memory.data(), static_cast<std::size_t>(length)};
}

TEST_F(SdlStream, LoadsABitmapFromASet)
{
    open({{"other", "x"}, {"picture.bmp", bitmap()}});
    SDL_Surface* loaded = SDL_LoadBMP_RW(resource_set_rwops_by_name(set, "picture.bmp"), 1);
    ASSERT_NE(loaded, nullptr) << SDL_GetError();
    EXPECT_EQ(loaded->w, 3);
    EXPECT_EQ(loaded->h, 2);
    Uint8 red = 0;
    Uint8 green = 0;
    Uint8 blue = 0;
    const auto* row = static_cast<const Uint8*>(loaded->pixels) + loaded->pitch;
    Uint32 pixel = 0;
    std::memcpy(&pixel, row + 2 * loaded->format->BytesPerPixel, loaded->format->BytesPerPixel);
    SDL_GetRGB(pixel, loaded->format, &red, &green, &blue);
    EXPECT_EQ(red, 203);
    EXPECT_EQ(green, 101);
    EXPECT_EQ(blue, 20);
    SDL_FreeSurface(loaded);
}

TEST_F(SdlStream, SizeSeekAndReadStayWithinThePayload)
{
    open({{"digits", "0123456789"}});
    SDL_RWops* rw = resource_set_rwops_by_name(set, "digits");
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(SDL_RWsize(rw), 10);
    std::string piece(4, '\0');
    EXPECT_EQ(SDL_RWseek(rw, -3, RW_SEEK_END), 7);
    EXPECT_EQ(SDL_RWread(rw, piece.data(), 1, 4), 3U);
    EXPECT_EQ(piece.substr(0, 3), "789");
    EXPECT_EQ(SDL_RWtell(rw), 10);
    EXPECT_EQ(SDL_RWseek(rw, -8, RW_SEEK_CUR), 2);
    EXPECT_EQ(SDL_RWread(rw, piece.data(), 2, 2), 2U);
    EXPECT_EQ(piece, "2345");
    EXPECT_EQ(SDL_RWseek(rw, -1, RW_SEEK_SET), -1);
    EXPECT_EQ(SDL_RWtell(rw), 6);
    EXPECT_EQ(SDL_RWseek(rw, 50, RW_SEEK_SET), 10);
    EXPECT_EQ(SDL_RWread(rw, piece.data(), 1, 4), 0U);
    EXPECT_EQ(SDL_RWclose(rw), 0);
}

TEST_F(SdlStream, WritingFails)
{
    open({{"a", "abc"}});
    SDL_RWops* rw = resource_set_rwops(set, resource_set_entry_at(set, 0));
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(SDL_RWwrite(rw, "zz", 1, 2), 0U);
    std::string bytes(3, '\0');
    EXPECT_EQ(SDL_RWread(rw, bytes.data(), 1, 3), 3U);
    EXPECT_EQ(bytes, "abc");
    SDL_RWclose(rw);
}

TEST_F(SdlStream, ClosingAStreamLeavesTheSetOpen)
{
    open({{"a", "abc"}, {"b", "de"}});
    SDL_RWclose(resource_set_rwops_by_name(set, "a"));
    SDL_RWops* rw = resource_set_rwops_by_name(set, "b");
    ASSERT_NE(rw, nullptr);
    std::string bytes(2, '\0');
    EXPECT_EQ(SDL_RWread(rw, bytes.data(), 1, 2), 2U);
    EXPECT_EQ(bytes, "de");
    SDL_RWclose(rw);
}

TEST_F(SdlStream, RefusesWhatNoStreamCanBeMadeOf)
{
    open({{"a", "abc"}});
    EXPECT_EQ(resource_set_rwops_by_name(set, "missing"), nullptr);
    EXPECT_NE(std::string(SDL_GetError()).find("missing"), std::string::npos);
    EXPECT_EQ(resource_set_rwops(nullptr, resource_set_entry_at(set, 0)), nullptr);
    EXPECT_EQ(resource_set_rwops(set, nullptr), nullptr);
    resource_set_entry foreign = *resource_set_entry_at(set, 0);
    EXPECT_EQ(resource_set_rwops(set, &foreign), nullptr);
}

} // namespace
