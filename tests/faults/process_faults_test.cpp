// The program as a user meets it, under faults: real process, real sockets on port 8102, real signals.
#include <signal.h>

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

#include "../support/scoped_temp_dir.h"
#include "../support/x_server_layout.h"
#include "platform/x11/display_changes.h"
#include "process_faults_fixture.h"

namespace srd::test {
namespace {

TEST_F(ProcessFaults, PortInUseAtStartIsRetriedUntilFreed) {
  UdpSocket holder;
  ASSERT_TRUE(holder.Bind(kPort));
  ProgramProcess program(ProgramOptions{SRD_PROGRAM_PATH});
  ASSERT_TRUE(program.Started());
  ASSERT_TRUE(WaitUntil([&] { return Count(program.Stderr(), kBindInUseLine) >= 1; }, seconds(20)));
  const auto first = Clock::now();
  ASSERT_TRUE(WaitUntil([&] { return Count(program.Stderr(), kBindInUseLine) >= 2; }, seconds(20)))
      << "the bind is not tried again";
  // A retry, not a spin: tries are paced (about every 2 s), which a slow machine only stretches.
  EXPECT_GE(Clock::now() - first, milliseconds(500));
  EXPECT_TRUE(program.Running());

  holder.Close();
  ASSERT_TRUE(Bound(program)) << "the port was freed but never taken";
  EXPECT_TRUE(SendAndDrain(program, 100));
  ExpectCleanStop(program);
}

TEST_F(ProcessFaults, SigtermDuringFloodEndsPromptlyWithExitZero) {
  ProgramProcess program(ProgramOptions{SRD_PROGRAM_PATH});
  ASSERT_TRUE(Bound(program));
  Flood flood(kPort, "?k41u41k42u42");
  ASSERT_TRUE(flood.Sends(20000));
  program.Signal(SIGTERM);
  const int code = program.WaitExit(seconds(20));
  flood.Stop();
  EXPECT_EQ(code, 0) << "the program did not end, or ended badly, under a flood";
  EXPECT_TRUE(WaitUntil([] { return UdpPortIsFree(kPort); }));
}

TEST_F(ProcessFaults, HundredThousandRandomDatagramsLeaveItRunningBoundedAndStoppable) {
  ProgramProcess program(ProgramOptions{SRD_PROGRAM_PATH});
  ASSERT_TRUE(Bound(program));
  std::mt19937 random(20240611);
  // Warm up first, so the comparison is against a program that has met every kind of datagram.
  ASSERT_TRUE(SendAndDrain(program, 1000, &random));
  const long residentBefore = program.ResidentKb();
  constexpr int kBatch = 100;  // well within the socket's queue, so nearly all of them are read
  for (int done = 0; done < 100000; done += kBatch) {
    ASSERT_TRUE(SendAndDrain(program, kBatch, &random)) << "stopped reading after " << done;
    ASSERT_TRUE(program.Running()) << "ended after " << done << " random datagrams";
  }
  // No allocation per datagram: a generous allowance for page-ins and allocator caches only.
  EXPECT_LE(program.ResidentKb(), residentBefore + 8 * 1024);
  EXPECT_TRUE(SendAndDrain(program, 100, nullptr, "?K041U041"));
  ExpectCleanStop(program);
}

TEST_F(ProcessFaults, XServerGoingAwayUnderTheXTestSinkLeavesItReceiving) {
  XvfbServer server;
  ASSERT_TRUE(server.Start());
  // Keys go to the X server; the window stays off any display, so only the key sink depends on the server.
  ProgramProcess program(OnDisplay(server));
  ASSERT_TRUE(Bound(program));
  ASSERT_TRUE(SendAndDrain(program, 200));
  // Hold a key down, then take the server away: the release at exit meets no server.
  ASSERT_TRUE(SendAndDrain(program, 1, nullptr, "?k10"));
  ASSERT_EQ(program.Stderr().find("no keys can be injected"), std::string::npos) << program.Stderr();
  server.Stop();
  for (int batch = 0; batch < 20; ++batch) {
    ASSERT_TRUE(SendAndDrain(program, 100)) << "stopped reading after the server went";
  }
  EXPECT_TRUE(program.Running());
  ExpectCleanStop(program);
}

// The repeat of the XTest device is shared with every other XTest client of the display: whichever signal
// ends the program, it goes through the shutdown, so the held key is let go and the repeat is back on; a
// held key never repeated meanwhile. SIGPIPE, which a write to a log reader that went away raises, ends
// nothing.
TEST_F(XTestProcessFaults, EveryEndingSignalLetsTheKeysGoAndPutsBackTheRepeat) {
  KeyObserver& observer = *observer_;
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGRTMIN + 2}) {
    SCOPED_TRACE(strsignal(signal));
    ASSERT_TRUE(RepeatOn());
    ProgramProcess program(OnDisplay(server_));
    ASSERT_TRUE(Bound(program));
    ASSERT_TRUE(WaitUntil([&] { return !RepeatOn(); }, seconds(20)));
    program.Signal(SIGPIPE);
    ASSERT_TRUE(SendAndDrain(program, 1, nullptr, "?k10k41"));  // Shift and A held when the signal comes
    ASSERT_TRUE(WaitUntil([&] { return observer.KeysDown().size() == 2; })) << "SIGPIPE ended it";
    program.Signal(signal);
    EXPECT_EQ(program.WaitExit(seconds(20)), 0) << program.Stderr();
    EXPECT_TRUE(RepeatOn());
    EXPECT_TRUE(observer.KeysDown().empty());
    ASSERT_TRUE(WaitUntil([] { return UdpPortIsFree(kPort); }));
  }
}

// SIGKILL leaves no chance to clean up: the next start finds what the killed one recorded and puts the X
// server right before it changes anything itself, so that its own shutdown puts the repeat back on too.
TEST_F(XTestProcessFaults, TheStartAfterAKillLetsGoOfItsKeysAndPutsBackTheRepeat) {
  KeyObserver& observer = *observer_;
  ScopedTempDir runtime("srd-run");
  {
    ProgramProcess killed(OnDisplay(server_, runtime.Path()));
    ASSERT_TRUE(Bound(killed));
    ASSERT_TRUE(SendAndDrain(killed, 1, nullptr, "?k10k41"));
    ASSERT_TRUE(WaitUntil([&] { return observer.KeysDown().size() == 2; }));
    killed.Signal(SIGKILL);
    ASSERT_EQ(killed.WaitExit(seconds(20)), 128 + SIGKILL);
  }
  ASSERT_FALSE(RepeatOn());  // as the kill left the server
  ASSERT_TRUE(WaitUntil([] { return UdpPortIsFree(kPort); }));
  ProgramProcess next(OnDisplay(server_, runtime.Path()));
  ASSERT_TRUE(Bound(next));
  EXPECT_TRUE(observer.KeysDown().empty()) << "the killed instance's keys are still held";
  EXPECT_TRUE(TypesAKey(observer));
  ExpectCleanStop(next);
  EXPECT_TRUE(RepeatOn()) << "the repeat the killed instance turned off stays off";
}

// The record of a killed run belongs to its display server, not to the spelling of the display's name, and
// a run on another server in between leaves it alone: a start on ":N.0" puts right what one on ":N" left.
TEST_F(XTestProcessFaults, TheRecordOfAKilledRunIsFoundUnderAnyNameOfItsServerAfterRunsElsewhere) {
  KeyObserver& observer = *observer_;
  ScopedTempDir runtime("srd-run");
  {
    ProgramProcess killed(OnDisplay(server_, runtime.Path()));
    ASSERT_TRUE(Bound(killed));
    ASSERT_TRUE(SendAndDrain(killed, 1, nullptr, "?k10"));
    ASSERT_TRUE(WaitUntil([&] { return observer.KeysDown().size() == 1; }));
    killed.Signal(SIGKILL);
    ASSERT_EQ(killed.WaitExit(seconds(20)), 128 + SIGKILL);
  }
  ASSERT_FALSE(RepeatOn());
  {
    XvfbServer elsewhere;
    ASSERT_TRUE(elsewhere.Start());
    ASSERT_TRUE(WaitUntil([] { return UdpPortIsFree(kPort); }));
    ProgramProcess between(OnDisplay(elsewhere, runtime.Path()));
    ASSERT_TRUE(Bound(between));
    ExpectCleanStop(between);
  }
  EXPECT_EQ(observer.KeysDown().size(), 1u);
  ProgramOptions sameServer = OnDisplay(server_, runtime.Path());
  sameServer.environment["DISPLAY"] = server_.DisplayName() + ".0";
  ProgramProcess next(sameServer);
  ASSERT_TRUE(Bound(next));
  EXPECT_TRUE(observer.KeysDown().empty()) << "the killed run's Shift is still held";
  ExpectCleanStop(next);
  EXPECT_TRUE(RepeatOn()) << "the repeat the killed run turned off stays off";
}

// A start while the running instance is ending (after its SIGTERM) waits for it to end and then runs as the
// instance: it is not told that the ending one came forward, and the ending one's putting back (its held
// keys, the repeat, its record) is done before the new one changes anything.
TEST_F(XTestProcessFaults, AStartDuringTheStopOfTheRunningInstanceWaitsForItAndRuns) {
  KeyObserver& observer = *observer_;
  ScopedTempDir runtime("srd-run");
  for (const int afterMs : {0, 2, 5, 10, 20, 40}) {
    SCOPED_TRACE("started " + std::to_string(afterMs) + " ms after the SIGTERM");
    ASSERT_TRUE(WaitUntil([] { return UdpPortIsFree(kPort); }));
    ProgramProcess ending(OnDisplay(server_, runtime.Path()));
    ASSERT_TRUE(Bound(ending));
    ASSERT_TRUE(SendAndDrain(ending, 1, nullptr, "?k10"));  // Shift held when the stop comes
    ASSERT_TRUE(WaitUntil([&] { return observer.KeysDown().size() == 1; }));
    ending.Signal(SIGTERM);
    std::this_thread::sleep_for(milliseconds(afterMs));
    ProgramProcess next(OnDisplay(server_, runtime.Path()));
    EXPECT_EQ(ending.WaitExit(seconds(20)), 0);
    ASSERT_TRUE(Bound(next)) << next.Stderr();
    EXPECT_EQ(next.Stderr().find("already running"), std::string::npos) << next.Stderr();
    EXPECT_TRUE(observer.KeysDown().empty());
    EXPECT_FALSE(RepeatOn()) << "the ending instance put the repeat back on over the running one's setting";
    EXPECT_EQ(access(DisplayChangesPath(runtime.Path(), server_.DisplayName()).c_str(), F_OK), 0)
        << "the running instance's record was removed";
    EXPECT_TRUE(TypesAKey(observer));
    ExpectCleanStop(next);
    EXPECT_TRUE(RepeatOn());
    EXPECT_TRUE(observer.KeysDown().empty());
  }
}

// Sends `datagram` until the observer sees `keycode` pressed (the program has followed a change); false when
// it never does within a generous time.
bool TypedOnceFollowed(UdpSocket& sender, KeyObserver& observer, const std::string& datagram, int keycode) {
  return WaitUntil(
      [&] {
        sender.SendTo(kPort, datagram);
        for (const KeyEvent& event : observer.TakeFor(milliseconds(200))) {
          if (event.first == keycode && event.second) {
            return true;
          }
        }
        return false;
      },
      seconds(30));
}

// A key held while the display's layout changes is released where it was pressed (the X keycode of us Y,
// not that of de Y), so nothing is held when the program ends.
TEST_F(XTestProcessFaults, AKeyHeldAcrossALayoutChangeIsLetGoWhereItWasPressed) {
  KeyObserver& observer = *observer_;
  ProgramProcess program(OnDisplay(server_));
  ASSERT_TRUE(Bound(program));
  sender_.SendTo(kPort, "?K059");
  ASSERT_TRUE(WaitUntil([&] { return observer.KeysDown() == std::vector<int>{29}; }));
  ASSERT_TRUE(SetServerLayout(server_.DisplayName(), "de"));
  // VK_OEM_1 is the key of ; on us and of ü (keycode 34) on de: once it arrives there, the program
  // types for de.
  ASSERT_TRUE(TypedOnceFollowed(sender_, observer, "?kbauba", 34));
  sender_.SendTo(kPort, "?U059");
  EXPECT_TRUE(WaitUntil([&] { return observer.KeysDown().empty(); })) << "Y stays down";
  ExpectCleanStop(program);
  EXPECT_TRUE(observer.KeysDown().empty());
  EXPECT_TRUE(RepeatOn());
}

// Rule names on the root window that name a path (to a FIFO, which would hold whoever opens it) are no
// layout: the program goes on typing and SIGTERM ends it cleanly.
TEST_F(XTestProcessFaults, RuleNamesThatNameAFifoHoldNothingUp) {
  KeyObserver& observer = *observer_;
  ScopedTempDir dir("srd-fifo");
  const std::string fifo = dir.Path() + "/f";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ProgramProcess program(OnDisplay(server_));
  ASSERT_TRUE(Bound(program));
  const std::string names =
      std::string("evdev") + '\0' + "pc105" + '\0' + "../../../../../../../.." + fifo + '\0' + '\0' + '\0';
  Display* display = observer.Connection();
  XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, "_XKB_RULES_NAMES", False),
                  XA_STRING, 8, PropModeReplace, reinterpret_cast<const unsigned char*>(names.data()),
                  static_cast<int>(names.size()));
  XSync(display, False);
  std::this_thread::sleep_for(milliseconds(300));  // for the program to read them
  EXPECT_TRUE(TypesAKey(observer));
  program.Signal(SIGTERM);
  const int code = program.WaitExit(seconds(20));
  if (code < 0) {
    close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets a blocked reader go, so the test can end
  }
  EXPECT_EQ(code, 0) << "SIGTERM did not end it: a thread is held by the FIFO";
}

}  // namespace
}  // namespace srd::test
