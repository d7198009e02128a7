// What the built program maps: without a display neither the toolkit nor the X or Wayland libraries; with an
// X display, the window module and nothing of Wayland's; and a window module that is missing or broken leaves
// it running without a window.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "../support/program_process.h"
#include "../support/scoped_temp_dir.h"
#include "../support/udp_port.h"
#include "../support/wait_until.h"
#include "../support/xvfb_server.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using srd::test::ProgramOptions;
using srd::test::ProgramProcess;
using srd::test::ScopedTempDir;
using srd::test::UdpPortIsFree;
using srd::test::WaitUntil;

// The file names of every shared object mapped into the process, one per line.
std::string MappedObjects(pid_t pid) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::map<std::string, bool> names;
  std::string line;
  while (std::getline(maps, line)) {
    const std::size_t slash = line.find('/');
    if (slash != std::string::npos && line.find(".so", slash) != std::string::npos) {
      names[fs::path(line.substr(slash)).filename().string()] = true;
    }
  }
  std::string listing;
  for (const auto& [name, unused] : names) {
    listing += name + "\n";
  }
  return listing;
}

#ifdef SRD_HAVE_QT
constexpr bool kBuiltWithWindows = true;
#else
constexpr bool kBuiltWithWindows = false;
#endif

bool Maps(const std::string& listing, const char* part) {
  return listing.find(part) != std::string::npos;
}

class ProgramModulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!UdpPortIsFree(8102)) {
      GTEST_SKIP() << "UDP port 8102 is in use by another program";
    }
  }
  // The program started and bound to its port, or nullptr.
  std::unique_ptr<ProgramProcess> StartBound(const std::string& program,
                                             std::map<std::string, std::string> environment = {}) {
    auto process = std::make_unique<ProgramProcess>(ProgramOptions{program, std::move(environment)});
    if (!process->Started() || !WaitUntil([] { return !UdpPortIsFree(8102); }, 20s)) {
      ADD_FAILURE() << "never bound UDP 8102: " << process->Stderr();
      return nullptr;
    }
    return process;
  }
  static void Stop(ProgramProcess& process) {
    process.Signal(SIGTERM);
    EXPECT_EQ(process.WaitExit(20s), 0);
  }
  // A copy of the program in `directory`, with none of its modules beside it.
  static std::string CopyOfProgram(const fs::path& directory) {
    fs::create_directories(directory);
    const fs::path copy = directory / "strokerelayd";
    fs::copy_file(SRD_PROGRAM, copy);
    return copy.string();
  }
};

TEST_F(ProgramModulesTest, WithoutADisplayNoToolkitAndNoXLibraryIsMapped) {
  auto program = StartBound(SRD_PROGRAM);
  ASSERT_NE(program, nullptr);
  const std::string objects = MappedObjects(program->Pid());
  EXPECT_TRUE(Maps(objects, "libc.so")) << objects;
  for (const char* part : {"strokerelayd-", "Qt", "libX", "libxcb", "libGL", "libEGL", "icu", "fontconfig",
                           "freetype", "harfbuzz", "glib", "dbus", "wayland", "xkbregistry"}) {
    EXPECT_FALSE(Maps(objects, part)) << part << " is mapped:\n" << objects;
  }
  Stop(*program);
}

// On a display the window module comes in from beside the program in the build tree; with no uinput device,
// keys go through the XTest module.
TEST_F(ProgramModulesTest, WithADisplayTheModulesAreLoadedFromTheBuildTree) {
  if (!kBuiltWithWindows) {
    GTEST_SKIP() << "built without the window module";
  }
  srd::XvfbServer server;
  ASSERT_TRUE(server.Start());
  auto program = StartBound(SRD_PROGRAM, {{"DISPLAY", server.DisplayName()}});
  ASSERT_NE(program, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return Maps(MappedObjects(program->Pid()), "strokerelayd-xtest.so"); }, 20s) ||
              fs::exists("/dev/uinput"));
  const std::string objects = MappedObjects(program->Pid());
  EXPECT_TRUE(Maps(objects, "strokerelayd-qt.so")) << objects;
  EXPECT_TRUE(Maps(objects, "libQt6Widgets")) << objects;
  // Outside a Wayland session, nothing of Wayland's.
  EXPECT_FALSE(Maps(objects, "strokerelayd-wayland.so")) << objects;
  EXPECT_FALSE(Maps(objects, "libwayland")) << objects;
  EXPECT_EQ(program->Stderr(), "");
  Stop(*program);
}

// A window module the program must not run: missing, not a module, planted where a copy of the program
// would once have looked (../lib/strokerelayd), or beside it in a directory or file that belongs to another
// user or that others can write to. Each time one sentence says which and why, and the program runs on
// without a window; a module that is in order is loaded.
TEST_F(ProgramModulesTest, AWindowModuleThatIsMissingBrokenOrPlantedIsNotLoadedAndSaysWhy) {
  if (!kBuiltWithWindows) {
    GTEST_SKIP() << "built without the window module";
  }
  const fs::path built = fs::path(SRD_PROGRAM).parent_path() / "strokerelayd-qt.so";
  const std::string installed = SRD_INSTALLED_MODULE_DIR;
  const std::string since = "strokerelayd: running without a window, since the module ";
  // Starts `program` with a Qt platform, and returns the first line it wrote, once it runs without a window.
  const auto firstLine = [&](const std::string& program, bool windowExpected = false) {
    auto process = StartBound(program, {{"QT_QPA_PLATFORM", "offscreen"}});
    if (process == nullptr) {
      return std::string();
    }
    EXPECT_EQ(Maps(MappedObjects(process->Pid()), "Qt"), windowExpected);
    const std::string text = process->Stderr();
    Stop(*process);
    return text.substr(0, text.find('\n') + 1);
  };

  // A copy outside the build tree, with modules where it would have looked: nothing of them is loaded.
  if (!fs::exists(fs::path(installed) / "strokerelayd-qt.so")) {
    ScopedTempDir prefix("srd-prefix");
    const std::string copy = CopyOfProgram(fs::path(prefix.Path()) / "bin");
    for (const fs::path& planted :
         {fs::path(prefix.Path()) / "lib" / "strokerelayd", fs::path(prefix.Path()) / "bin"}) {
      fs::create_directories(planted);
      fs::copy_file(built, planted / "strokerelayd-qt.so", fs::copy_options::overwrite_existing);
    }
    EXPECT_EQ(firstLine(copy),
              since + "strokerelayd-qt.so is not installed (looked in " + installed + ").\n");
  }

  // A copy in the build tree: its own directory is a place for modules, under the same rules.
  const fs::path directory = fs::path(SRD_TEST_BUILD_DIR) / ("planted-" + std::to_string(getpid()));
  fs::remove_all(directory);
  const std::string copy = CopyOfProgram(directory);
  const fs::path module = directory / "strokerelayd-qt.so";
  const std::string file = "the module " + module.string() + " ";
  EXPECT_EQ(firstLine(copy), since + "strokerelayd-qt.so is not installed (looked in " + directory.string() +
                                 " and " + installed + ").\n");

  std::ofstream(module) << std::string(4096, 'x');
  fs::permissions(module, fs::perms(0644));
  const std::string broken = firstLine(copy);
  // The loader's own reason follows in brackets; its wording is the C library's.
  EXPECT_TRUE(broken.starts_with(since + module.string() + " cannot be loaded (")) << broken;

  fs::copy_file(built, module, fs::copy_options::overwrite_existing);
  fs::permissions(module, fs::perms(0644));
  fs::permissions(directory, fs::perms(0777));
  EXPECT_EQ(firstLine(copy), since + module.string() + " is refused (its directory " + directory.string() +
                                 " can be written by users other than its owner).\n");
  fs::permissions(directory, fs::perms(0755));
  fs::permissions(module, fs::perms(0664));
  EXPECT_EQ(firstLine(copy), since + module.string() +
                                 " is refused (its file can be written by users other than its owner).\n");
  fs::permissions(module, fs::perms(0644));
  if (geteuid() == 0) {  // as CI runs: the file given to another user
    ASSERT_EQ(chown(module.c_str(), 65534, 65534), 0);
    EXPECT_EQ(firstLine(copy), since + module.string() +
                                   " is refused (its file belongs to user 65534, neither root nor the user "
                                   "running it).\n");
    ASSERT_EQ(chown(module.c_str(), 0, 0), 0);
  }
  EXPECT_FALSE(firstLine(copy, true).starts_with(since));  // (Qt's offscreen platform may say something)
  fs::remove_all(directory);
}

// A Qt platform asked for by name whose plugin is not installed (QT_QPA_PLATFORM=wayland without Qt's Wayland
// plugin) would make Qt end the process: one sentence instead, and the program runs on without a window. A
// Wayland platform whose compositor does not answer (with or without the plugin) is no reason to end either.
TEST_F(ProgramModulesTest, APlatformThatCannotOpenLeavesTheProgramRunningWithoutAWindow) {
  if (!kBuiltWithWindows) {
    GTEST_SKIP() << "built without the window module";
  }
  auto process = StartBound(SRD_PROGRAM, {{"QT_QPA_PLATFORM", "srd-absent;srd-absent-too:option"}});
  ASSERT_NE(process, nullptr);
  const std::string expected =
      "strokerelayd: running without a window, since Qt has no plugin for the platform "
      "\"srd-absent;srd-absent-too:option\" that QT_QPA_PLATFORM asks for (looked in ";
  const std::string stderrText = process->Stderr();
  const std::string firstLine = stderrText.substr(0, stderrText.find('\n') + 1);
  EXPECT_EQ(firstLine.substr(0, expected.size()), expected);
  EXPECT_TRUE(firstLine.ends_with("/platforms).\n")) << firstLine;
  Stop(*process);

  ScopedTempDir runtime("srd-no-compositor");
  auto wayland = StartBound(SRD_PROGRAM, {{"QT_QPA_PLATFORM", "wayland"},
                                          {"WAYLAND_DISPLAY", "wayland-srd-none"},
                                          {"XDG_RUNTIME_DIR", runtime.Path()}});
  ASSERT_NE(wayland, nullptr);
  EXPECT_TRUE(wayland->Running()) << wayland->Stderr();
  // Said once: the compositor that does not answer (or, without Qt's Wayland plugin, that there is none).
  const std::string said = wayland->Stderr();
  const std::string noCompositor =
      "strokerelayd: running without a window, since no Wayland compositor answers "
      "at " +
      runtime.Path() + "/wayland-srd-none (QT_QPA_PLATFORM=wayland).\n";
  EXPECT_TRUE(said.find(noCompositor) != std::string::npos ||
              said.find("since Qt has no plugin for the platform \"wayland\"") != std::string::npos)
      << said;
  EXPECT_EQ(said.find("running without a window"), said.rfind("running without a window")) << said;
  Stop(*wayland);

  // An X display that cannot be reached is said about the window too, not only about the keys.
  auto unreachable = StartBound(SRD_PROGRAM, {{"DISPLAY", ":9999"}, {"WAYLAND_DISPLAY", ""}});
  ASSERT_NE(unreachable, nullptr);
  EXPECT_NE(unreachable->Stderr().find(
                "strokerelayd: running without a window, since the X display :9999 cannot be reached.\n"),
            std::string::npos)
      << unreachable->Stderr();
  Stop(*unreachable);
}

}  // namespace
