// The real Linux platform layer where a black-box run cannot reach: the descriptors and signals children
// get and what they leave behind, reads and writes under interrupts, and property lists in real files
// through libplist.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "platform/linux/LinuxPlatform.h"
#include "platform/posix/Posix.h"
#include "reading/PropertyListRules.h"

namespace gatewarden {
namespace {

namespace fs = std::filesystem;

std::string childOutput(const std::vector<std::string>& arguments, StandardError standardError) {
    auto child = posix::startCommand(TEST_CHILD, arguments, standardError);
    std::string output = child->readToEnd();
    child->wait();
    return output;
}

std::set<std::string> openDescriptors() {  // the listing's own among them, the lowest free one each time
    std::set<std::string> descriptors;
    for (const auto& item : fs::directory_iterator("/proc/self/fd")) descriptors.insert(item.path().filename());
    return descriptors;
}

// A folder that a test fills and that is removed with all it holds; what would block for ever fails
// the test through SIGALRM instead.
class Platform : public ::testing::Test {
protected:
    void SetUp() override { ::alarm(60), fs::create_directories(folder); }
    void TearDown() override { fs::remove_all(folder), ::alarm(0); }
    const fs::path folder = fs::temp_directory_path() / ("gatewarden-test-" + std::to_string(::getpid()));
};

TEST_F(Platform, ChildrenGetOnlyTheStandardDescriptorsThatAreOpenAndLeaveNothingBehind) {
    std::set<std::string> before = openDescriptors();
    // savedInput is not close-on-exec, like one the tool may inherit.
    int extra = ::open("/dev/null", O_RDONLY), savedInput = ::dup(0);
    ::dup2(extra, 0);
    EXPECT_EQ(childOutput({"fds"}, StandardError::Inherit), "0 1 2 ");
    // With standard input closed the pipe is made on descriptor 0; the child must not get it there,
    // and it is not passed on (macOS would fail the spawn when asked to pass on a closed descriptor).
    EXPECT_EQ(posix::inheritedStandardDescriptors(StandardError::Inherit), (std::vector<int>{0, 2}));
    ::close(0);
    EXPECT_EQ(childOutput({"fds"}, StandardError::Captured), "1 2 ");
    EXPECT_EQ(posix::inheritedStandardDescriptors(StandardError::Captured), std::vector<int>{});  // as macOS passes on
    ::dup2(savedInput, 0), ::close(savedInput), ::close(extra);
    // Dropped unread and unwaited while the child still has far more than a pipe's worth to write.
    posix::startCommand(TEST_CHILD, {"out", std::to_string(8 << 20), "y"}, StandardError::Inherit).reset();
    // The tool ignores SIGPIPE; its children get the default back, so one that writes to a pipe nobody reads
    // ends there, as it would if a shell had started it.
    int ends[2], savedError = ::dup(2);
    ASSERT_EQ(::pipe(ends), 0);
    ::dup2(ends[1], 2), ::close(ends[1]), ::close(ends[0]);
    auto previous = std::signal(SIGPIPE, SIG_IGN);
    auto child = posix::startCommand(TEST_CHILD, {"err"}, StandardError::Inherit);
    EXPECT_EQ(child->wait(), SIGPIPE);
    std::signal(SIGPIPE, previous), ::dup2(savedError, 2), ::close(savedError);
    EXPECT_EQ(child->wait(), SIGPIPE) << "asked again";
    child.reset();
    // The tests run beside test_child, so a relative path or a PATH search would find something.
    for (const std::string path : {"/nonexistent-gatewarden/child", "test_child", "/"})
        EXPECT_THROW(posix::startCommand(path, {}, StandardError::Inherit), PlatformException) << path;
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "no child is left unreaped";
}

// Reads, waits and writes that a timer keeps interrupting go on where they stopped: the output of a child that
// writes only after a while and the end of one that ends a while later, and a record far longer than the pipe of one
// page it goes to, which a slow reader that the timer never interrupts drains page by page. The record's header and
// text fill whole pages, so one write stops right before the line feed.
TEST_F(Platform, InterruptedReadsAndWritesGoOn) {
    // The header "YYYY-MM-DD HH:MM:SS.mmm gatewarden-test[pid:tid] ", the test's own thread being the process's.
    std::string text((4 << 20) - 43 - 2 * std::to_string(::getpid()).size(), ' '), written;
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('!' + i % 89);
    int ends[2], saved = ::dup(2);
    ASSERT_EQ(::pipe(ends), 0);
    ::fcntl(ends[1], F_SETPIPE_SZ, 4096), ::dup2(ends[1], 2), ::close(ends[1]);
    std::thread reader([&] {
        sigset_t alarm;
        sigemptyset(&alarm), sigaddset(&alarm, SIGALRM), pthread_sigmask(SIG_BLOCK, &alarm, nullptr);
        char buffer[4096];
        for (ssize_t count; (count = ::read(ends[0], buffer, sizeof buffer)) > 0; ::usleep(200))
            written.append(buffer, count);
    });
    struct sigaction interrupt = {}, previous = {};
    interrupt.sa_handler = [](int) {};  // without SA_RESTART: a blocked read or write returns early
    itimerval every100us{{0, 100}, {0, 100}}, off{};
    ::sigaction(SIGALRM, &interrupt, &previous), ::setitimer(ITIMER_REAL, &every100us, nullptr);
    auto child = posix::startCommand(TEST_CHILD, {"out", "100", "z", "50"}, StandardError::Inherit);
    std::string output = child->readToEnd();
    std::int32_t status = child->wait();
    posix::writeStandardErrorRecord("gatewarden-test", text);
    ::setitimer(ITIMER_REAL, &off, nullptr), ::sigaction(SIGALRM, &previous, nullptr);
    ::dup2(saved, 2), ::close(saved), reader.join(), ::close(ends[0]);
    EXPECT_EQ(std::pair(output, status), std::pair(std::string(100, 'z'), 0));
    std::size_t header = written.find("] ") + 2;
    EXPECT_TRUE(written.size() == header + text.size() + 1 && written.compare(header, text.size(), text) == 0)
        << written.size() - header << " bytes after the header, not " << text.size() + 1;
}

std::string xml(const std::string& value) {  // as Apple's writer lays it out
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n" +
           value + "\n</plist>\n";
}
// The binary encoding as libplist writes it: an equal value stored once and referred to from every
// place that holds it.
std::string binaryFromXml(const std::string& text) {
    plist_t root = nullptr;
    plist_from_xml(text.data(), static_cast<std::uint32_t>(text.size()), &root);
    char* bytes = nullptr;
    std::uint32_t length = 0;
    if (root) plist_to_bin(root, &bytes, &length);
    std::string binary = bytes ? std::string(bytes, length) : "";
    plist_free(root);
    std::free(bytes);
    return binary;
}
TEST_F(Platform, PropertyListsKeepValueTypesApartAndWhatIsNoReadableDictionaryIsNothing) {
    auto read = [&](const std::string& bytes) {
        std::ofstream(folder / "plist", std::ios::binary) << bytes;
        errno = EINTR;  // as an earlier interrupted call leaves it: no read of the file was interrupted
        auto dictionary = LinuxPlatform("gatewarden-test").readPropertyList(folder / "plist");
        return dictionary ? describe(*dictionary) : "nothing";
    };
    const std::pair<std::string, std::string> encodings[] = {
        // each in XML and in binary
        {xml("<dict><key>i</key><integer>-7</integer><key>r</key><real>1.0</real><key>b</key><true/><key>s</key>"
             "<string>1</string><key>d</key><data>D6E=</data><key>t</key><date>2001-01-02T00:00:00Z</date>"
             "<key>a</key><array><false/><dict/></array><key>n</key><integer>-9223372036854775808</integer>"
             "<key>u</key><integer>18446744073709551615</integer><key>\xC3\xA9</key><string>a\xE2\x82\xAC</string>"
             "</dict>"),  // libplist writes these texts in UTF-16
         R"({"a" = (false, {}); "b" = true; "d" = <0fa1>; "i" = -7; "n" = -9223372036854775808; "r" = 1.0; "s" = "1"; )"
         R"("t" = date 86400.0; "u" = 18446744073709551615; )"
         "\"\xC3\xA9\" = \"a\xE2\x82\xAC\"}"},
        {xml("<dict/>"), "{}"},
        {xml("<array><dict/></array>"), "nothing"}};
    for (const auto& [text, expected] : encodings) {
        EXPECT_EQ(read(text), expected) << text.substr(0, 100);
        EXPECT_EQ(read(binaryFromXml(text)), expected) << text.substr(0, 100) << " in binary";
    }
    const std::pair<std::string, std::string> files[] = {
        // Apple's reader drops a U+FEFF at the start of a text in XML, but not of data, nor in binary.
        {xml("<dict><key>\xEF\xBB\xBFk</key><string>\xEF\xBB\xBF</string><key>d</key><data>77u/</data></dict>"),
         R"({"d" = <efbbbf>; "k" = ""})"},
        {binaryFromXml(xml("<dict><key>\xEF\xBB\xBFk</key><true/></dict>")), "{\"\xEF\xBB\xBFk\" = true}"},
        {binaryFromXml(xml("<dict><key>k</key><real>-nan</real></dict>")), R"({"k" = nan})"}};  // as CoreFoundation
    for (const auto& [bytes, expected] : files)
        EXPECT_EQ(read(bytes), expected) << ::testing::PrintToString(bytes.substr(0, 60));
    // A pipe is no regular file, though it holds a whole property list and its writer is gone.
    int ends[2];
    const std::string empty = xml("<dict/>");
    ASSERT_TRUE(::pipe(ends) == 0 && ::write(ends[1], empty.data(), empty.size()) > 0 && ::close(ends[1]) == 0);
    EXPECT_FALSE(LinuxPlatform("gatewarden-test").readPropertyList("/proc/self/fd/" + std::to_string(ends[0])));
    ::close(ends[0]);
    // 340,000 items of one binary array, in a file of 1 MiB that data pads out so that the rules take
    // them (libplist finds an item by its index by counting from the first, so a conversion by index
    // took minutes), and in one a byte longer than 1 MiB.
    std::string items = "<dict><key>a</key><array>";
    for (int k = 0; k < 340000; ++k) items += "<true/>";
    for (auto [padding, size] : {std::pair{"xx==", 340000u}, {"xxx=", 0u}}) {
        std::string data = std::string(944660, 'x') + padding;
        std::ofstream(folder / "plist", std::ios::binary)
            << binaryFromXml(xml(items + "</array><key>p</key><data>" + data + "</data></dict>"));
        auto dictionary = LinuxPlatform("gatewarden-test").readPropertyList(folder / "plist");
        EXPECT_EQ(dictionary ? dictionary->at("a").get<Array>()->size() : 0, size) << fs::file_size(folder / "plist");
    }
}

}  // namespace
}  // namespace gatewarden
