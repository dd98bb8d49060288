#include "OutputPaths.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

using namespace veldran;

TEST(OutputPaths, EmptyNameGetsTheDefaultAndOneRefresh) {
    std::string name;
    int refreshes = 0;
    const std::string path = PrepareOutputPath(
        name, "/logs/", kLogDefaultName, kLogExtension, [&] { ++refreshes; }, [] { return false; });
    EXPECT_EQ(name, "VELDRAN");
    EXPECT_EQ(path, "/logs/VELDRAN.log");
    EXPECT_EQ(refreshes, 1);

    std::string batch;
    EXPECT_EQ(PrepareOutputPath(batch, "", kBatchDefaultName, kBatchExtension, nullptr, nullptr),
              "VELDRAN_BATCH.dat");
}

TEST(OutputPaths, TypedNamesAreTakenAsTheyStand) {
    int refreshes = 0;
    for (const std::string typed : {"   ", "run.log", "sub\\x"}) {
        std::string name = typed;
        const std::string path = PrepareOutputPath(
            name, "D:\\", kLogDefaultName, kLogExtension, [&] { ++refreshes; }, nullptr);
        EXPECT_EQ(name, typed);
        EXPECT_EQ(path, "D:\\" + typed + ".log");
    }
    EXPECT_EQ(refreshes, 0);
}

TEST(OutputPaths, DeletesTheFileWhenTheBoxIsTickedAfterTheRefresh) {
    test::TempDir dir;
    const std::string existing = dir.File("VELDRAN_BATCH.dat");
    test::WriteBytes(existing, "old\n");
    std::vector<std::string> order;
    std::string name;
    PrepareOutputPath(
        name, dir.Path().string() + "/", kBatchDefaultName, kBatchExtension,
        [&] { order.push_back("refresh"); },
        [&] {
            order.push_back("asked");
            return false;
        });
    EXPECT_TRUE(std::filesystem::exists(existing));
    EXPECT_EQ(order, (std::vector<std::string>{"refresh", "asked"}));

    PrepareOutputPath(name, dir.Path().string() + "/", kBatchDefaultName, kBatchExtension, nullptr,
                      [] { return true; });
    EXPECT_FALSE(std::filesystem::exists(existing));
    // Deleting a file that is not there is silent.
    PrepareOutputPath(name, dir.Path().string() + "/", kBatchDefaultName, kBatchExtension, nullptr,
                      [] { return true; });
}
