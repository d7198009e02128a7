// The desktops' word on the active layout, against stand-ins the tests start: KDE Plasma's keyboard service
// on a private session bus, GNOME's input-source settings in a keyfile of the test's own. Each switch made
// while the watch runs is followed.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/layout/receiver_layout.h"
#include "platform/wayland/gnome_layout_source.h"
#include "platform/wayland/kde_layout_source.h"
#include "platform/wayland/sway_layout_source.h"
#include "platform/wayland/wayland_layout_watch.h"
#include "private_session_bus.h"
#include "support/layout_lines.h"
#include "support/program_process.h"
#include "support/scoped_temp_dir.h"
#include "support/wait_until.h"
#include "support/weston_server.h"

namespace srd {
namespace {

using namespace std::chrono_literals;

class DesktopSourcesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(weston_.Start("us,de")); }
  // The receiver's layout from the compositor, with the one desktop given.
  std::unique_ptr<ReceiverLayout> Follow(DesktopLayoutSourceFactory desktop) {
    return ReceiverLayout::Start(
        weston_.WaylandDisplay().c_str(), [&](const std::string& name, LayoutChanged f) {
          std::string whyNot;
          return std::unique_ptr<LayoutWatch>(
              WaylandLayoutWatch::Start(name, std::move(f), {desktop}, lines_.File(), &whyNot));
        });
  }
  bool Says(const std::string& layoutAndWhere) {
    return test::WaitUntil(
        [&] { return lines_.Has("strokerelayd: typing for keyboard layout " + layoutAndWhere); }, 10s);
  }

  test::WestonServer weston_;
  test::LayoutLines lines_;
};

TEST_F(DesktopSourcesTest, KdePlasmasActiveLayoutIsFollowed) {
  test::PrivateSessionBus bus;
  ASSERT_TRUE(bus.Ready());
  const auto kde = [&](ActiveLayoutChanged onChange, int limitMs, DesktopMiss* miss) {
    return std::unique_ptr<DesktopLayoutSource>(
        KdeLayoutSource::Start(bus.Address(), std::move(onChange), limitMs, &miss->why));
  };
  // Without the service: told at once, and the first layout is used.
  DesktopMiss whyNot;
  EXPECT_EQ(kde([](const ActiveLayout&) {}, 1000, &whyNot), nullptr);
  EXPECT_EQ(whyNot.why, "no KDE Plasma keyboard service on the session bus");

  test::ProgramOptions options(KDE_KEYBOARD_STANDIN, {{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}});
  options.arguments = {"1"};
  test::ProgramProcess standIn(options);
  ASSERT_TRUE(
      test::WaitUntil([&] { return kde([](const ActiveLayout&) {}, 1000, &whyNot) != nullptr; }, 30s));
  const auto layout = Follow(kde);
  EXPECT_EQ(layout->Current().Name().Text(), "de");
  EXPECT_TRUE(Says("de (compositor keymap, KDE Plasma layout 2 of 2)"));

  options = test::ProgramOptions("/usr/bin/dbus-send", {{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}});
  options.arguments = {"--session",
                       "--print-reply",
                       "--dest=org.kde.keyboard",
                       "/Layouts",
                       "org.kde.KeyboardLayouts.setLayout",
                       "uint32:0"};
  ASSERT_EQ(test::ProgramProcess::RunToEnd(options, 30s), 0);
  EXPECT_TRUE(Says("us (compositor keymap, KDE Plasma layout 1 of 2)"));
  EXPECT_EQ(layout->Current().Name().Text(), "us");
}

TEST_F(DesktopSourcesTest, GnomesCurrentInputSourceIsFollowed) {
  test::ScopedTempDir config("srd-gsettings");
  const std::filesystem::path keyfile = config.Path() + "/glib-2.0/settings/keyfile";
  std::filesystem::create_directories(keyfile.parent_path());
  const auto write = [&](const char* mostRecentFirst) {
    const std::filesystem::path next = keyfile.string() + ".new";
    std::ofstream(next) << "[org/gnome/desktop/input-sources]\n"
                        << "sources=[('xkb', 'us'), ('xkb', 'de')]\n"
                        << "mru-sources=" << mostRecentFirst << "\n";
    std::filesystem::rename(next, keyfile);
  };
  write("[('xkb', 'de'), ('xkb', 'us')]");
  // GLib reads these at its first use of settings, which is in this test's process.
  setenv("GSETTINGS_BACKEND", "keyfile", 1);
  setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
  const auto gnome = [](ActiveLayoutChanged onChange, int, DesktopMiss* miss) {
    return std::unique_ptr<DesktopLayoutSource>(GnomeLayoutSource::Start(std::move(onChange), &miss->why));
  };
  const auto layout = Follow(gnome);
  EXPECT_EQ(layout->Current().Name().Text(), "de");
  EXPECT_TRUE(Says("de (compositor keymap, GNOME input source 2 of 2)"));

  write("[('xkb', 'us'), ('xkb', 'de')]");
  EXPECT_TRUE(Says("us (compositor keymap, GNOME input source 1 of 2)"));
  EXPECT_EQ(layout->Current().Name().Text(), "us");
}

// A stand-in for sway's IPC socket: answers the subscription and GET_INPUTS (one keyboard whose active
// layout is `initial`), then on Switch one input event that switches it to `switched`.
class SwayStandIn {
 public:
  SwayStandIn(int initial, int switched) : path_(dir_.Path() + "/sway.sock") {
    listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    listen(listener_, 1);
    thread_ = std::thread([this, initial, switched] {
      const int client = accept(listener_, nullptr, nullptr);
      for (const std::uint32_t type : {2u, 100u}) {
        char header[14];
        std::uint32_t length = 0;
        if (recv(client, header, sizeof header, MSG_WAITALL) != sizeof header) {
          break;
        }
        std::memcpy(&length, header + 6, 4);
        std::string payload(length, '\0');
        if (length > 0) {
          recv(client, payload.data(), length, MSG_WAITALL);
        }
        Send(client, type, type == 2 ? "{\"success\": true}" : Inputs(initial));
      }
      {
        std::unique_lock lock(mutex_);
        switch_.wait(lock, [this] { return switching_; });
      }
      Send(client, 0x80000015u,
           "{\"change\": \"xkb_layout\", \"input\": " +
               Inputs(switched).substr(1, Inputs(switched).size() - 2) + "}");
      char drain = 0;
      while (recv(client, &drain, 1, 0) > 0) {
      }
      close(client);
    });
  }
  ~SwayStandIn() {
    Switch();
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }
  const std::string& Path() const { return path_; }
  void Switch() {
    {
      std::lock_guard lock(mutex_);
      switching_ = true;
    }
    switch_.notify_all();
  }

 private:
  static std::string Inputs(int active) {
    return "[{\"identifier\": \"1:1:mouse\", \"name\": \"mouse\", \"type\": \"pointer\", \"libinput\": "
           "{\"accel_speed\": 0.0}}, {\"identifier\": \"1:1:kbd\", \"name\": \"AT keyboard\", \"type\": "
           "\"keyboard\", \"xkb_layout_names\": [\"English (US)\", \"German\"], "
           "\"xkb_active_layout_index\": " +
           std::to_string(active) + ", \"libinput\": {\"send_events\": \"enabled\"}}]";
  }
  static void Send(int fd, std::uint32_t type, const std::string& payload) {
    std::string message = "i3-ipc";
    const auto length = static_cast<std::uint32_t>(payload.size());
    message.append(reinterpret_cast<const char*>(&length), 4);
    message.append(reinterpret_cast<const char*>(&type), 4);
    message += payload;
    send(fd, message.data(), message.size(), MSG_NOSIGNAL);
  }

  test::ScopedTempDir dir_{"srd-sway"};
  std::string path_;
  int listener_ = -1;
  std::mutex mutex_;
  std::condition_variable switch_;
  bool switching_ = false;
  std::thread thread_;
};

TEST_F(DesktopSourcesTest, SwaysActiveLayoutIsFollowed) {
  SwayStandIn sway(1, 0);
  const auto source = [&](ActiveLayoutChanged onChange, int limitMs, DesktopMiss* miss) {
    return std::unique_ptr<DesktopLayoutSource>(
        SwayLayoutSource::Start(sway.Path(), std::move(onChange), limitMs, &miss->why));
  };
  const auto layout = Follow(source);
  EXPECT_TRUE(Says("de (compositor keymap, sway layout 2 of 2)"));
  sway.Switch();
  EXPECT_TRUE(Says("us (compositor keymap, sway layout 1 of 2)"));
  EXPECT_EQ(layout->Current().Name().Text(), "us");
}

TEST(GnomeSources, AnInputSourcesIdIsALayoutAndVariant) {
  EXPECT_EQ(LayoutOfGnomeSource("de"), (LayoutName{"de", ""}));
  EXPECT_EQ(LayoutOfGnomeSource("de+nodeadkeys"), (LayoutName{"de", "nodeadkeys"}));
  // Never a path into XKB's files.
  EXPECT_EQ(LayoutOfGnomeSource("../../../../tmp/f"), std::nullopt);
  EXPECT_EQ(LayoutOfGnomeSource("de+a+b"), std::nullopt);
}

}  // namespace
}  // namespace srd
