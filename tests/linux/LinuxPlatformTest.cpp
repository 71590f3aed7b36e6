#include <fcntl.h>
#include <pwd.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "platform/linux/LinuxPlatform.h"
#include "platform/posix/Posix.h"

namespace gatewarden {
namespace {

// Points descriptor 2 at an anonymous file until finish() or the end of the scope.
struct StandardErrorCapture {
    std::FILE* file_ = std::tmpfile();
    int saved_ = ::dup(2);
    StandardErrorCapture() { ::dup2(::fileno(file_), 2); }
    ~StandardErrorCapture() { finish(), std::fclose(file_); }
    std::string finish() {
        if (saved_ >= 0) ::dup2(saved_, 2), ::close(saved_), saved_ = -1;
        std::string text;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
        return text;
    }
};

struct Finished { std::string output; std::int32_t status = -1; };

Finished runChild(const std::vector<std::string>& arguments, StandardError standardError = StandardError::Inherit) {
    auto child = posix::startCommand(TEST_CHILD, arguments, standardError);
    Finished finished;
    char buffer[65536];
    while (std::size_t count = child->readSome(buffer, sizeof buffer)) finished.output.append(buffer, count);
    finished.status = child->wait();
    return finished;
}

// The listing's own descriptor is among them, the lowest free one each time.
std::set<int> openDescriptors() {
    std::set<int> descriptors;
    for (const auto& item : std::filesystem::directory_iterator("/proc/self/fd"))
        descriptors.insert(std::stoi(item.path().filename().string()));
    return descriptors;
}

// A runner that would block for ever fails the test through SIGALRM instead.
class CommandRunnerTest : public ::testing::Test {
    void SetUp() override { ::alarm(30); }
    void TearDown() override { ::alarm(0); }
};

TEST_F(CommandRunnerTest, PassesOutputStandardErrorArgumentsEnvironmentAndStatus) {
    ::setenv("GATEWARDEN_TEST_VALUE", "inherited value", 1);
    const struct { std::vector<std::string> arguments; StandardError standardError; std::string output, toolError; int status; } cases[] = {
        {{"both"}, StandardError::Inherit, "out\n", "err\n", 0},
        {{"both"}, StandardError::Captured, "out\nerr\n", "", 0},
        {{"err"}, StandardError::Inherit, "", "err\n", 0},
        {{"exit", "7"}, StandardError::Inherit, "", "", 7},
        {{"exit", "255"}, StandardError::Captured, "", "", 255},
        {{"kill", std::to_string(SIGKILL)}, StandardError::Inherit, "", "", SIGKILL},
        {{"kill", std::to_string(SIGTERM)}, StandardError::Captured, "", "", SIGTERM},
        {{"env", "GATEWARDEN_TEST_VALUE"}, StandardError::Inherit, "inherited value", "", 0},
        {{"args", "a b", "", "100%", "%s %@", "$HOME", "*", "'q' \"d\"", "x;y|z"}, StandardError::Inherit,
         "[a b][][100%][%s %@][$HOME][*]['q' \"d\"][x;y|z]", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.front() + " " + (c.arguments.size() > 1 ? c.arguments[1] : ""));
        StandardErrorCapture capture;
        Finished finished = runChild(c.arguments, c.standardError);
        EXPECT_EQ(capture.finish(), c.toolError);
        EXPECT_EQ(finished.output, c.output);
        EXPECT_EQ(finished.status, c.status);
    }
    ::unsetenv("GATEWARDEN_TEST_VALUE");
}

TEST_F(CommandRunnerTest, ReadsSeveralMebibytesToTheEnd) {
    Finished finished = runChild({"out", std::to_string(6 << 20), "x"});
    EXPECT_TRUE(finished.output == std::string(6 << 20, 'x')) << finished.output.size() << " bytes";
    EXPECT_EQ(finished.status, 0);
}

TEST_F(CommandRunnerTest, ChildGetsOnlyTheStandardDescriptors) {
    int extra = ::open("/dev/null", O_RDONLY);  // not close-on-exec, like one the tool may inherit
    ASSERT_GE(extra, 3);
    std::string input = ::fcntl(0, F_GETFD) >= 0 ? "0 " : "";
    EXPECT_EQ(runChild({"fds"}).output, input + "1 " + (::fcntl(2, F_GETFD) >= 0 ? "2 " : ""));
    EXPECT_EQ(runChild({"fds"}, StandardError::Captured).output, input + "1 2 ");
    // With standard input closed the pipe is made on descriptor 0; the child must not get it there,
    // and it is not passed on (macOS would fail the spawn when asked to pass on a closed descriptor).
    int savedInput = ::dup(0);
    ::close(0);
    EXPECT_EQ(runChild({"fds"}, StandardError::Captured).output, "1 2 ");
    EXPECT_EQ(posix::inheritedStandardDescriptors(StandardError::Inherit), std::vector<int>{2});
    EXPECT_EQ(posix::inheritedStandardDescriptors(StandardError::Captured), std::vector<int>{});
    ::dup2(savedInput, 0), ::close(savedInput), ::close(extra);
    EXPECT_EQ(posix::inheritedStandardDescriptors(StandardError::Inherit), (std::vector<int>{0, 2}));
}

TEST_F(CommandRunnerTest, LeavesNoDescriptorAndNoChildBehind) {
    std::set<int> before = openDescriptors();
    runChild({"both"}, StandardError::Captured);
    // Dropped unread and unwaited while the child still has far more than a pipe's worth to write.
    posix::startCommand(TEST_CHILD, {"out", std::to_string(8 << 20), "y"}, StandardError::Inherit).reset();
    posix::startCommand(TEST_CHILD, {"exit", "3"}, StandardError::Captured).reset();
    EXPECT_EQ(openDescriptors(), before);
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(CommandRunnerTest, LaunchPathThatCannotStartThrows) {
    // The tests run beside test_child, so a relative path or a PATH search would find something.
    for (const std::string path : {"/nonexistent-gatewarden/child", "sh", "test_child", "./test_child", "/"}) {
        SCOPED_TRACE(path);
        try {
            posix::startCommand(path, {"exit", "0"}, StandardError::Inherit);
            ADD_FAILURE() << "started";
        } catch (const PlatformException& exception) {
            EXPECT_FALSE(exception.name.empty());
            EXPECT_NE(exception.reason.find(path), std::string::npos) << exception.reason;
        }
    }
}

TEST(LinuxPlatformTest, AvailableCapacityIsTheSpaceFreeForUsersOfRoot) {
    struct statvfs info;
    ASSERT_EQ(::statvfs("/", &info), 0);
    auto expected = static_cast<std::int64_t>(info.f_bavail * info.f_frsize);
    VolumeCapacity capacity = LinuxPlatform("gatewarden-test").availableCapacity();
    EXPECT_EQ(capacity.error, std::nullopt);
    ASSERT_TRUE(capacity.bytes.has_value());
    EXPECT_LE(std::llabs(*capacity.bytes - expected), 64ll << 20) << *capacity.bytes << " vs " << expected;
}

TEST(LinuxPlatformTest, LogWritesEachTextVerbatimInOneStampedRecord) {
    StandardErrorCapture capture;
    {
        LinuxPlatform platform("gatewarden-test");
        for (const char* text : {"a %s %@ 100%", "ends in a line feed\n", "two\nlines"}) platform.log(text);
    }
    std::string prefix = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} gatewarden-test\[)" + std::to_string(::getpid()) + ":" +
                         std::to_string(::gettid()) + R"(\] )";
    std::string text = capture.finish();
    EXPECT_TRUE(std::regex_match(text, std::regex(prefix + "a %s %@ 100%\n" + prefix + "ends in a line feed\n" + prefix +
                                                  "two\nlines\n")))
        << text;
}

TEST(LinuxPlatformTest, CurrentUserNameIsTheEffectiveUsersLoginName) {
    const passwd* entry = ::getpwuid(::geteuid());
    EXPECT_EQ(LinuxPlatform("gatewarden-test").currentUserName(),
              entry ? std::optional<std::string>(entry->pw_name) : std::nullopt);
}

}  // namespace
}  // namespace gatewarden
