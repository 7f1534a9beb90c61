// SPDX-License-Identifier: MIT
// Sets for the adapters' tests, written by the library's writer into a
// folder of the test's own.
#ifndef RESOURCE_SET_ADAPTERS_SET_MAKER_HPP
#define RESOURCE_SET_ADAPTERS_SET_MAKER_HPP

#include <resource_set.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

struct resource {
    std::string name;
    std::string payload;
};

// A fresh folder named after the running test.
inline std::filesystem::path test_folder()
{
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    auto folder = std::filesystem::temp_directory_path() /
                  (std::string("resource_set_adapter_") + info->test_suite_name() + "_" + info->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

// Writes the set of resources, in this order, at path.
inline void make_set(const std::filesystem::path& path, const std::vector<resource>& resources)
{
    resource_set_writer* writer = nullptr;
    ASSERT_EQ(resource_set_writer_create(path.string().c_str(), &writer), RESOURCE_SET_OK);
    for (const auto& item : resources) {
        ASSERT_EQ(
            resource_set_writer_add_memory(writer, item.name.c_str(), 0, 0, item.payload.data(), item.payload.size()),
            RESOURCE_SET_OK)
            << item.name;
    }
    ASSERT_EQ(resource_set_writer_commit(writer), RESOURCE_SET_OK);
}

#endif
