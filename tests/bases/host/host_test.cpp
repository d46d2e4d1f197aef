// Selecting the host: the real host is the default and comes back after a
// simulated run; it reaches the real file system.
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "bases/host/host.h"
#include "sim/sim_host.h"

namespace {

TEST(HostTest, RealHostIsTheDefaultAndComesBack)
{
    EXPECT_EQ(g_host, &g_realHost);
    host_select(&g_simHost);
    EXPECT_EQ(g_host, &g_simHost);
    host_select(nullptr);
    EXPECT_EQ(g_host, &g_realHost);
}

TEST(HostTest, RealHostReachesTheFileSystem)
{
    char path[] = "/tmp/quorbix-host-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(host().write(fd, "abc", 3), 3);
    host().close(fd);

    FILE *f = host().fopen(path, "r");
    ASSERT_NE(f, nullptr);
    char buf[8] = {};
    ASSERT_NE(fgets(buf, sizeof buf, f), nullptr);
    EXPECT_STREQ(buf, "abc");
    fclose(f);
    EXPECT_EQ(host().unlink(path), 0);
    EXPECT_EQ(host_open(path, O_RDONLY), -1);
}

} // namespace
