// KDE Plasma's keyboard service when the bus or its peers misbehave: a bus that never speaks, authenticates
// a byte at a time or has no room to accept is given up within the limit as a whole; an index beyond the
// keymap's layouts is no layout; a layoutChanged from anyone but the service's owner is not believed.

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/layout/receiver_layout.h"
#include "platform/wayland/kde_layout_source.h"
#include "platform/wayland/wayland_layout_watch.h"
#include "private_session_bus.h"
#include "support/fake_compositor.h"
#include "support/layout_lines.h"
#include "support/scripted_socket.h"
#include "support/wait_until.h"

namespace srd {
namespace {

using namespace std::chrono_literals;

constexpr int kLimitMs = 500;

TEST(KdeBus, ABusThatDoesNotAnswerInTimeIsGivenUpWithinTheLimit) {
  const std::vector<std::pair<const char*, test::ScriptedSocket::Script>> cases = {
      {"silent after accepting", [](test::ScriptedSocket& bus, int, int) { bus.Silence(); }},
      {"authenticating a byte every 0.4 s",
       [](test::ScriptedSocket& bus, int client, int) {
         char request[256];
         if (recv(client, request, sizeof request, 0) <= 0) {
           return;
         }
         const std::string ok = "OK 0123456789abcdef0123456789abcdef\r\n";
         for (std::size_t i = 0; i < ok.size() && bus.Sleep(400ms); ++i) {
           send(client, ok.data() + i, 1, MSG_NOSIGNAL);
         }
       }},
      {"a listener that never accepts", nullptr},
  };
  // The bus library's first use loads its modules and types, once per process: not part of any bound.
  std::string first;
  KdeLayoutSource::Start(
      "unix:path=/nonexistent/bus", [](const ActiveLayout&) {}, kLimitMs, &first);
  for (const auto& [name, script] : cases) {
    SCOPED_TRACE(name);
    test::ScriptedSocket bus(script, 0);
    std::vector<int> queued;  // a backlog filled by others
    for (int i = 0; !script && i < 4; ++i) {
      queued.push_back(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::strncpy(address.sun_path, bus.Path().c_str(), sizeof address.sun_path - 1);
      connect(queued.back(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    int reports = 0;
    std::string whyNot;
    const auto started = test::Clock::now();
    EXPECT_EQ(KdeLayoutSource::Start(
                  "unix:path=" + bus.Path(), [&](const ActiveLayout&) { ++reports; }, kLimitMs, &whyNot),
              nullptr);
    EXPECT_LT(test::Clock::now() - started, std::chrono::milliseconds(kLimitMs) + 2s);
    EXPECT_EQ(whyNot, kKdeBusSilent);
    EXPECT_EQ(reports, 0);
    for (const int fd : queued) {
      close(fd);
    }
  }
}

class KdeServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    compositor_.AddKeyboard(test::KeymapTextOf("us,de"));
    ASSERT_TRUE(bus_.Ready());
  }
  // The service's stand-in, started with this layout index.
  std::unique_ptr<test::ProgramProcess> Service(const std::string& index) {
    test::ProgramOptions options(KDE_KEYBOARD_STANDIN, {{"DBUS_SESSION_BUS_ADDRESS", bus_.Address()}});
    options.arguments = {index};
    auto standIn = std::make_unique<test::ProgramProcess>(options);
    std::string whyNot;
    const bool up = test::WaitUntil(
        [&] {
          return KdeLayoutSource::Start(
                     bus_.Address(), [](const ActiveLayout&) {}, 1000, &whyNot) != nullptr;
        },
        30s);
    return up ? std::move(standIn) : nullptr;
  }
  std::unique_ptr<ReceiverLayout> Follow() {
    const auto kde = [&](ActiveLayoutChanged onChange, int limitMs, DesktopMiss* miss) {
      return std::unique_ptr<DesktopLayoutSource>(
          KdeLayoutSource::Start(bus_.Address(), std::move(onChange), limitMs, &miss->why));
    };
    return ReceiverLayout::Start(
        compositor_.SocketPath().c_str(), [&](const std::string& name, LayoutChanged f) {
          std::string whyNot;
          return std::unique_ptr<LayoutWatch>(
              WaylandLayoutWatch::Start(name, std::move(f), {kde}, lines_.File(), &whyNot));
        });
  }
  bool Says(const std::string& layoutAndWhere) {
    return test::WaitUntil(
        [&] { return lines_.Has("strokerelayd: typing for keyboard layout " + layoutAndWhere); }, 10s);
  }
  int Run(const std::vector<std::string>& arguments) {
    const bool spoof = arguments[0] == "spoof";
    test::ProgramOptions options(spoof ? KDE_KEYBOARD_STANDIN : "/usr/bin/dbus-send",
                                 {{"DBUS_SESSION_BUS_ADDRESS", bus_.Address()}});
    options.arguments = arguments;
    return test::ProgramProcess::RunToEnd(options, 30s);
  }

  test::FakeCompositor compositor_;
  test::PrivateSessionBus bus_;
  test::LayoutLines lines_;
};

// 0xFFFFFFFF is no group of a keymap of two: the first one is used, and the line says why.
TEST_F(KdeServiceTest, AnIndexBeyondTheKeymapsLayoutsIsNoLayout) {
  const auto service = Service("4294967295");
  ASSERT_NE(service, nullptr);
  const auto layout = Follow();
  // Under a heavy load the service may miss its time at start and say so first: then it is asked again.
  EXPECT_TRUE(
      Says("us (compositor keymap, its first of 2 layouts: KDE Plasma layout 4294967296 is not one of "
           "them)"));
  EXPECT_EQ(layout->Current().Name().Text(), "us");
}

TEST_F(KdeServiceTest, OnlyTheServicesOwnerIsBelieved) {
  const auto service = Service("1");
  ASSERT_NE(service, nullptr);
  const auto layout = Follow();
  ASSERT_TRUE(Says("de (compositor keymap, KDE Plasma layout 2 of 2)"));
  EXPECT_EQ(layout->Current().Name().Text(), "de");
  const std::size_t before = lines_.Text().size();
  // Sent to everyone, to this program alone, and on another path, by a peer that is not the service.
  ASSERT_EQ(Run({"spoof", "0"}), 0);
  ASSERT_EQ(Run({"--session", "--print-reply", "--dest=org.kde.keyboard", "/Layouts",
                 "org.kde.KeyboardLayouts.setLayout", "uint32:1"}),
            0);
  // The service's own signal, which comes after the others, is believed; the others changed nothing.
  ASSERT_EQ(Run({"--session", "--print-reply", "--dest=org.kde.keyboard", "/Layouts",
                 "org.kde.KeyboardLayouts.setLayout", "uint32:0"}),
            0);
  EXPECT_TRUE(Says("us (compositor keymap, KDE Plasma layout 1 of 2)"));
  EXPECT_EQ(lines_.Text().substr(before),
            "strokerelayd: typing for keyboard layout us (compositor keymap, KDE Plasma layout 1 of 2)\n");
}

}  // namespace
}  // namespace srd
