// sway's IPC socket as a stand-in of the tests' own plays it, well and badly: every exchange is over within
// its limit as a whole, a stop ends the watch whatever it waits on, nothing from the socket is allocated
// without bound, and only the followed keyboard's layout counts.

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/keys/uinput_key_backend.h"
#include "platform/layout/receiver_layout.h"
#include "platform/wayland/sway_layout_source.h"
#include "platform/wayland/wayland_layout_watch.h"
#include "support/fake_compositor.h"
#include "support/layout_lines.h"
#include "support/scripted_socket.h"
#include "support/wait_until.h"

namespace srd {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kInputEvent = 0x80000015u;

// sway's side of the exchange, for the scripts.
struct ScriptedSway {
  // The type of the next request, or 0 when the client went.
  static std::uint32_t Request(int client) {
    char header[14];
    std::uint32_t length = 0;
    std::uint32_t type = 0;
    if (recv(client, header, sizeof header, MSG_WAITALL) != sizeof header) {
      return 0;
    }
    std::memcpy(&length, header + 6, 4);
    std::memcpy(&type, header + 10, 4);
    std::string payload(length, '\0');
    if (length > 0 && recv(client, payload.data(), length, MSG_WAITALL) != static_cast<ssize_t>(length)) {
      return 0;
    }
    return type;
  }
  static std::string Message(std::uint32_t type, const std::string& payload, std::uint32_t length) {
    std::string message = "i3-ipc";
    message.append(reinterpret_cast<const char*>(&length), 4);
    message.append(reinterpret_cast<const char*>(&type), 4);
    return message + payload;
  }
  static void Send(int client, std::uint32_t type, const std::string& payload) {
    const std::string message = Message(type, payload, static_cast<std::uint32_t>(payload.size()));
    send(client, message.data(), message.size(), MSG_NOSIGNAL);
  }
  // Answers the subscription as sway does.
  static bool Subscribed(int client) {
    if (Request(client) != 2) {
      return false;
    }
    Send(client, 2, "{\"success\": true}");
    return Request(client) == 100;
  }
};

std::string Keyboard(const std::string& id, const std::string& name, int active) {
  return "{\"identifier\": \"" + id + "\", \"name\": \"" + name +
         "\", \"type\": \"keyboard\", \"xkb_layout_names\": [\"English (US)\", \"German\"], "
         "\"xkb_active_layout_index\": " +
         std::to_string(active) + "}";
}
std::string Event(const std::string& change, const std::string& keyboard) {
  return "{\"change\": \"" + change + "\", \"input\": " + keyboard + "}";
}

// What a source reports, as it reports it.
struct Reports {
  std::mutex mutex;
  std::vector<std::uint32_t> indexes;
  ActiveLayoutChanged Sink() {
    return [this](const ActiveLayout& active) {
      std::lock_guard lock(mutex);
      indexes.push_back(active.index.value_or(0xDEAD));
    };
  }
  std::vector<std::uint32_t> Seen() {
    std::lock_guard lock(mutex);
    return indexes;
  }
};

constexpr int kLimitMs = 500;

// Each way of not answering ends within the limit as a whole, with the reason.
TEST(SwaySocket, ASwayThatDoesNotAnswerInTimeIsGivenUpWithinTheLimit) {
  const std::vector<std::pair<const char*, test::ScriptedSocket::Script>> cases = {
      {"silent after accepting", [](test::ScriptedSocket& sway, int, int) { sway.Silence(); }},
      {"a header, then a byte every 0.4 s",
       [](test::ScriptedSocket& sway, int client, int) {
         if (!ScriptedSway::Subscribed(client)) {
           return;
         }
         const std::string reply = ScriptedSway::Message(100, "[" + Keyboard("1:1:k", "k", 1) + "]", 60);
         send(client, reply.data(), 14, MSG_NOSIGNAL);
         for (std::size_t i = 14; i < reply.size() && sway.Sleep(400ms); ++i) {
           send(client, reply.data() + i, 1, MSG_NOSIGNAL);
         }
       }},
      {"a payload of 4 GiB announced",
       [](test::ScriptedSocket& sway, int client, int) {
         if (ScriptedSway::Request(client) == 2) {
           const std::string header = ScriptedSway::Message(2, "", 0xFFFFFFF0u);
           send(client, header.data(), header.size(), MSG_NOSIGNAL);
           sway.Silence();
         }
       }},
      {"a listener that never accepts", nullptr},
  };
  for (const auto& [name, script] : cases) {
    SCOPED_TRACE(name);
    test::ScriptedSocket sway(script, 0);
    std::vector<int> queued;  // a backlog filled by others
    if (!script) {
      for (int i = 0; i < 4; ++i) {
        queued.push_back(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, sway.Path().c_str(), sizeof address.sun_path - 1);
        connect(queued.back(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
      }
    }
    Reports reports;
    std::string whyNot;
    const auto started = test::Clock::now();
    EXPECT_EQ(SwayLayoutSource::Start(sway.Path(), reports.Sink(), kLimitMs, &whyNot), nullptr);
    const auto took = test::Clock::now() - started;
    if (std::string(name) != "a payload of 4 GiB announced") {
      EXPECT_GE(took, std::chrono::milliseconds(kLimitMs) - 50ms);
    }
    EXPECT_LT(took, std::chrono::milliseconds(kLimitMs) + 2s);
    EXPECT_EQ(whyNot, "sway does not answer");
    EXPECT_TRUE(reports.Seen().empty());
    for (const int fd : queued) {
      close(fd);
    }
  }
}

// An event before the reply is older than the reply: the reply's layout holds, and the source is kept.
// Events about other keyboards are not about the keys typed; the program's own keyboard, once sway adds
// it, is followed from then on.
TEST(SwaySocket, OnlyTheFollowedKeyboardsLayoutCounts) {
  std::atomic<int> stage = 0;
  test::ScriptedSocket sway([&](test::ScriptedSocket& self, int client, int) {
    if (!ScriptedSway::Subscribed(client)) {
      return;
    }
    ScriptedSway::Send(client, kInputEvent, Event("xkb_layout", Keyboard("1:1:at", "AT keyboard", 0)));
    ScriptedSway::Send(
        client, 100, "[" + Keyboard("1:1:at", "AT keyboard", 1) + ", " + Keyboard("2:2:usb", "USB", 0) + "]");
    self.Sleep(100ms);
    ScriptedSway::Send(client, kInputEvent, Event("xkb_layout", Keyboard("2:2:usb", "USB", 1)));
    ScriptedSway::Send(client, kInputEvent, Event("xkb_layout", Keyboard("1:1:at", "AT keyboard", 0)));
    while (stage.load() == 0 && self.Sleep(10ms)) {
    }
    ScriptedSway::Send(client, kInputEvent, Event("added", Keyboard("3:3:own", kUinputDeviceName, 1)));
    ScriptedSway::Send(client, kInputEvent, Event("xkb_layout", Keyboard("1:1:at", "AT keyboard", 1)));
    ScriptedSway::Send(client, kInputEvent, Event("xkb_layout", Keyboard("3:3:own", kUinputDeviceName, 0)));
    self.Silence();
  });
  Reports reports;
  std::string whyNot;
  const auto source = SwayLayoutSource::Start(sway.Path(), reports.Sink(), kLimitMs, &whyNot);
  ASSERT_NE(source, nullptr) << whyNot;
  EXPECT_TRUE(test::WaitUntil([&] { return reports.Seen().size() == 2; }, 10s));
  EXPECT_EQ(reports.Seen(), (std::vector<std::uint32_t>{1, 0}));
  stage = 1;
  EXPECT_TRUE(test::WaitUntil([&] { return reports.Seen().size() == 4; }, 10s));
  EXPECT_EQ(reports.Seen(), (std::vector<std::uint32_t>{1, 0, 1, 0}));
}

// A stop while the watch waits on an event cut short, or on a silent socket, ends it at once.
TEST(SwaySocket, AStopEndsTheWatchWhateverItWaitsOn) {
  for (const bool partial : {false, true}) {
    SCOPED_TRACE(partial ? "within an event" : "between events");
    test::ScriptedSocket sway([&](test::ScriptedSocket& self, int client, int) {
      if (!ScriptedSway::Subscribed(client)) {
        return;
      }
      ScriptedSway::Send(client, 100, "[" + Keyboard("1:1:at", "AT keyboard", 1) + "]");
      if (partial) {
        const std::string event = ScriptedSway::Message(kInputEvent, "{\"change\"", 200);
        send(client, event.data(), event.size(), MSG_NOSIGNAL);
      }
      self.Silence();
    });
    Reports reports;
    std::string whyNot;
    auto source = SwayLayoutSource::Start(sway.Path(), reports.Sink(), kLimitMs, &whyNot);
    ASSERT_NE(source, nullptr) << whyNot;
    std::this_thread::sleep_for(100ms);
    const auto started = test::Clock::now();
    source.reset();
    EXPECT_LT(test::Clock::now() - started, 2s);
  }
}

// A sway busy adding a keyboard at start is asked again; the line says why the first layout is used
// meanwhile, never that no desktop says.
TEST(SwaySocket, ABusySwayIsAskedAgainUntilItAnswers) {
  test::FakeCompositor compositor;
  compositor.AddKeyboard(test::KeymapTextOf("us,de"));
  test::ScriptedSocket sway([](test::ScriptedSocket& self, int client, int connection) {
    if (connection == 0) {
      self.Sleep(800ms);  // busy for longer than the first asking waits
      return;
    }
    if (!ScriptedSway::Subscribed(client)) {
      return;
    }
    ScriptedSway::Send(client, 100, "[" + Keyboard("1:1:at", "AT keyboard", 1) + "]");
    while (ScriptedSway::Request(client) != 0) {
    }
  });
  test::LayoutLines lines;
  const auto desktop = [&](ActiveLayoutChanged onChange, int limitMs, DesktopMiss* miss) {
    auto source = SwayLayoutSource::Start(sway.Path(), std::move(onChange), limitMs, &miss->why);
    miss->askAgain = source == nullptr;
    return std::unique_ptr<DesktopLayoutSource>(source.release());
  };
  const auto started = test::Clock::now();
  const auto layout =
      ReceiverLayout::Start(compositor.SocketPath().c_str(), [&](const std::string& name, LayoutChanged f) {
        std::string whyNot;
        return std::unique_ptr<LayoutWatch>(
            WaylandLayoutWatch::Start(name, std::move(f), {desktop}, lines.File(), &whyNot));
      });
  EXPECT_LT(test::Clock::now() - started, 3s);
  EXPECT_EQ(
      lines.Text(),
      "strokerelayd: typing for keyboard layout us (compositor keymap, its first of 2 layouts: sway does "
      "not answer)\n");
  EXPECT_TRUE(test::WaitUntil(
      [&] {
        return lines.Has(
            "strokerelayd: typing for keyboard layout de (compositor keymap, sway layout 2 of 2)");
      },
      10s));
  EXPECT_EQ(layout->Current().Name().Text(), "de");
}

}  // namespace
}  // namespace srd
