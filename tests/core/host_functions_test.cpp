// Resolving the host's 54 functions by name. Native only: the lookup is
// played by the test through the Win32 stand-in.
#ifndef _WIN32
#include "shell/host_functions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> lookups;
std::string missing;

void Target() {}

FARPROC PlayHost(HMODULE, const char *name)
{
    lookups.push_back(name);
    return name == missing ? nullptr : FunctionCast<FARPROC>(&Target);
}

class HostFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = ShimProcLookup;
        ShimProcLookup = PlayHost;
        lookups.clear();
        table.module = nullptr;
    }
    void TearDown() override { ShimProcLookup = saved; }
    FARPROC (*saved)(HMODULE, const char *);
    HostFunctionTable table;
};

TEST_F(HostFunctionsTest, AllFoundResolvesOnceInTableOrder)
{
    missing.clear();
    EXPECT_EQ(1, table.Resolve());
    ASSERT_EQ(54u, lookups.size());
    EXPECT_EQ("QNA_GetVersion", lookups.front());
    EXPECT_EQ("QNA_AppendMessage", lookups[HostAppendMessage]);
    EXPECT_EQ("QNA_UTF_8", lookups[HostUTF_8]);
    EXPECT_EQ("QNA_EUC_JP", lookups[HostEUC_JP]);
    EXPECT_EQ("QNA_Connect", lookups.back());
    EXPECT_NE(nullptr, table.module);
    EXPECT_EQ(1, table.Resolve());
    EXPECT_EQ(54u, lookups.size());  // nothing looked up again
}

TEST_F(HostFunctionsTest, MissingNameStopsTheLookupAndLeavesTheTableUnresolved)
{
    missing = "QNA_Connect";
    EXPECT_EQ(0, table.Resolve());
    EXPECT_EQ(54u, lookups.size());
    EXPECT_EQ(nullptr, table.module);
    EXPECT_NE(nullptr, table.entries[52]);
    EXPECT_EQ(nullptr, table.entries[53]);

    lookups.clear();
    missing = "QNA_GetVersion";
    EXPECT_EQ(0, table.Resolve());
    EXPECT_EQ(1u, lookups.size());
    EXPECT_EQ(nullptr, table.module);
}

}  // namespace
#endif
