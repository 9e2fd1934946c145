// The hardware names the phone reports through uname and sysctlbyname.
#include "Foundation/SystemInfo.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "Foundation/ProcessWide.h"

namespace {

std::string machine(const char* key) {
    char buf[32];
    size_t len = sizeof buf;
    if (phone_system::sysctlbyname(key, buf, &len, nullptr, 0) != 0) return "<failed>";
    EXPECT_EQ(len, std::strlen(buf) + 1);
    return buf;
}

TEST(SystemInfo, NamesThePhoneNotTheMachine) {
    struct utsname u;
    ASSERT_EQ(phone_system::uname(&u), 0);
    EXPECT_STREQ(u.machine, "iPhone3,1");
    EXPECT_STREQ(u.sysname, "Darwin");
    EXPECT_EQ(machine("hw.machine"), "iPhone3,1");
    EXPECT_EQ(machine("hw.model"), "N90AP");
    // The length first, then the value, as callers that size their buffer do.
    size_t len = 0;
    ASSERT_EQ(phone_system::sysctlbyname("hw.machine", nullptr, &len, nullptr, 0), 0);
    EXPECT_EQ(len, 10u);
    // A buffer that is too short is refused rather than filled with a cut name.
    char small[4] = "abc";
    len = sizeof small;
    EXPECT_EQ(phone_system::sysctlbyname("hw.machine", small, &len, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOMEM);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(machine("hw.nosuchthing"), "<failed>");
    EXPECT_EQ(errno, ENOENT);
    char value[] = "x";
    len = 0;
    EXPECT_EQ(phone_system::sysctlbyname("hw.machine", nullptr, &len, value, 2), -1);
    EXPECT_EQ(errno, EPERM);
}

TEST(SystemInfo, TestsSetTheModelAndMakeTheCallsFail) {
    phone_system::setHardwareModel("iPad2,1");
    phone_system::setModelNumber("K93AP");
    struct utsname u;
    ASSERT_EQ(phone_system::uname(&u), 0);
    EXPECT_STREQ(u.machine, "iPad2,1");
    EXPECT_EQ(machine("hw.machine"), "iPad2,1");
    EXPECT_EQ(machine("hw.model"), "K93AP");
    phone_system::setFailing(true);
    EXPECT_EQ(phone_system::uname(&u), -1);
    EXPECT_EQ(machine("hw.machine"), "<failed>");
    EXPECT_EQ(machine("hw.model"), "<failed>");
    phone_system::reset();
    EXPECT_EQ(machine("hw.machine"), "iPhone3,1");
    EXPECT_EQ(phone_system::hardwareModel(), "iPhone3,1");
}

TEST(SystemInfo, MemoryAndClockAreThirtyTwoBitNumbers) {
    auto number = [](const char* key) -> int64_t {
        uint32_t value = 0;
        size_t len = sizeof value;
        if (phone_system::sysctlbyname(key, &value, &len, nullptr, 0) != 0) return -1;
        EXPECT_EQ(len, 4u);
        return value;
    };
    EXPECT_EQ(number("hw.physmem"), 512 * 1024 * 1024);
    EXPECT_EQ(number("hw.cpufrequency"), 1000000000);
    phone_system::setPhysicalMemory(256u * 1024 * 1024);
    phone_system::setCPUFrequency(800000000u);
    EXPECT_EQ(number("hw.physmem"), 256 * 1024 * 1024);
    EXPECT_EQ(number("hw.cpufrequency"), 800000000);
    // Too small a buffer for the number.
    uint16_t half = 0;
    size_t len = sizeof half;
    EXPECT_EQ(phone_system::sysctlbyname("hw.physmem", &half, &len, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOMEM);
    phone_system::reset();
    EXPECT_EQ(phone_system::cpuFrequency(), 1000000000u);
}

}  // namespace

// What a test made the phone is the standard phone again for the next test.
TEST(SystemInfo, TheResetBetweenTestsGivesTheStandardPhoneBack) {
    phone_system::setHardwareModel("iPod4,1");
    phone_system::setCPUFrequency(800000000u);
    resetProcessWideInstances();
    EXPECT_EQ(phone_system::hardwareModel(), "iPhone3,1");
    EXPECT_EQ(phone_system::cpuFrequency(), 1000000000u);
}
