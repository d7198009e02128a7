#pragma once

// A link that drops datagrams, on loopback: a relay of the tests' own forwards each datagram it receives to
// the receiver, or drops it, at random with a given rate from a given seed, so a run is the same every time.
// RunLossyLink types a text through it with the sender's own sealing and repeats into the real receive loop,
// and counts what arrived. Header only: the test and the measurement that use it link the sender's and the
// receiver's libraries themselves.

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "datagram_batch.h"
#include "platform/keys/key_sink.h"
#include "platform/keys/recording_key_backend.h"
#include "receiver/key_commands.h"
#include "receiver/receiver_worker.h"
#include "receiver/sealed_receive.h"
#include "seal/datagram_sealer.h"
#include "seal/paired_receiver.h"
#include "seal/sealed_datagram.h"
#include "support/loopback.h"
#include "support/scoped_temp_dir.h"
#include "support/udp_port.h"
#include "text_encoding.h"
#include "udp_sender.h"

namespace srd::test {

class LossyRelay {
 public:
  LossyRelay(std::int32_t toPort, double dropRate, unsigned seed)
      : toPort_(toPort), drop_(dropRate), random_(seed) {
    in_.Bind(0);
    thread_ = std::thread([this] { Run(); });
  }
  ~LossyRelay() {
    stop_ = true;
    thread_.join();
  }
  LossyRelay(const LossyRelay&) = delete;
  LossyRelay& operator=(const LossyRelay&) = delete;

  std::int32_t Port() const { return in_.LocalPort(); }
  std::size_t Received() const { return received_; }
  std::size_t Dropped() const { return dropped_; }

 private:
  void Run() {
    while (!stop_) {
      const std::string datagram = in_.Receive(std::chrono::milliseconds(20));
      if (datagram.empty()) {
        continue;
      }
      if (drop_(random_)) {
        ++dropped_;
      } else {
        out_.SendTo(toPort_, datagram);
      }
      ++received_;  // counted once forwarded: what a later datagram to the receiver cannot overtake
    }
  }

  std::int32_t toPort_;
  std::bernoulli_distribution drop_;
  std::mt19937 random_;
  UdpSocket in_;
  UdpSocket out_;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> received_{0};
  std::atomic<std::size_t> dropped_{0};
  std::thread thread_;
};

struct LossyLinkRun {
  bool ran = false;                // false: the receiver or the relay did not come up
  std::size_t characters = 0;      // in the text
  std::size_t charactersLost = 0;  // whose key events never arrived
  bool strayEvents = false;        // events that belong to no character in its place: out of order, or twice
  std::size_t datagrams = 0;       // the sealed datagrams the text took, each sent `copies` times
  std::size_t copiesDropped = 0;   // of all the copies sent
  std::size_t copiesSent = 0;
};

// Types text (US keys) through a relay dropping dropRate of the datagrams, sealed, each sent `copies`
// times, into the running receive loop with a recording key sink.
inline LossyLinkRun RunLossyLink(const std::string& text, double dropRate, unsigned seed, int copies) {
  LossyLinkRun run;
  if (!seal::StartSealing()) {
    return run;
  }
  const seal::Key key = seal::NewKey();
  ScopedTempDir directory("srd-lossy");
  seal::PairedReceiver paired(key, directory.Path() + "/sender-order");
  if (!paired.LoadOrder().empty()) {
    return run;
  }
  RecordingKeyBackend keys;
  InstallKeyBackend(&keys);
  InstallPairedReceiver(&paired);
  ReceiverState state;
  const std::int32_t port = FindFreeUdpPort();
  state.port.store(port);
  StartReceiver(state);
  const bool bound = WaitUntil([&] { return !UdpPortIsFree(port); }, std::chrono::seconds(20));

  const sender::EncodedText encoded = sender::EncodeText(text);
  const std::vector<sender::Batch> batches = sender::BatchStrokes(encoded.datagrams, seal::SEALED_MAX_TEXT);
  // What each character types, as the decoder hands it over.
  std::vector<std::vector<RecordedKeyEvent>> expected;
  std::size_t expectedEvents = 0;
  {
    RecordingKeyBackend decoded;
    InstallKeyBackend(&decoded);
    for (const std::string& stroke : encoded.datagrams) {
      decoded.Clear();
      DecodeKeyCommands(stroke.c_str());
      expected.push_back(decoded.Events());
      expectedEvents += expected.back().size();
    }
    InstallKeyBackend(&keys);
  }

  if (bound) {
    LossyRelay relay(port, dropRate, seed);
    sender::UdpSender sender;
    std::string error;
    if (sender.Open("127.0.0.1", static_cast<std::uint16_t>(relay.Port()), 1, error)) {
      sender.SealWith(key, copies);
      for (const sender::Batch& batch : batches) {
        sender.Send(batch.datagram, error);
      }
      // Once the relay has passed on or dropped every copy, a marker sent straight to the receiver queues
      // behind all it passed on: when the marker's key arrives, everything that got through has been typed.
      const std::size_t sent = batches.size() * static_cast<std::size_t>(copies);
      WaitUntil([&] { return relay.Received() == sent; }, std::chrono::seconds(20));
      seal::DatagramSealer marker(key);
      UdpSocket direct;
      direct.SendTo(port, marker.Seal("?kfe"));
      const RecordedKeyEvent markerEvent{0xfe, 0, KEYEVENT_PRESS, KEY_EVENT_TAG};
      run.ran = WaitUntil(
          [&] {
            const std::vector<RecordedKeyEvent> events = keys.Events();
            return !events.empty() && events.back() == markerEvent;
          },
          std::chrono::seconds(30));
      run.copiesSent = relay.Received();
      run.copiesDropped = relay.Dropped();
    }
  }
  state.worker->Stop();
  InstallPairedReceiver(nullptr);
  InstallKeyBackend(nullptr);

  // Whole characters arrive or are lost; walk the characters along what arrived.
  std::vector<RecordedKeyEvent> typed = keys.Events();
  if (run.ran) {
    typed.pop_back();  // the marker
  }
  std::size_t at = 0;
  for (const std::vector<RecordedKeyEvent>& character : expected) {
    if (at + character.size() <= typed.size() &&
        std::equal(character.begin(), character.end(), typed.begin() + static_cast<std::ptrdiff_t>(at))) {
      at += character.size();
    } else {
      ++run.charactersLost;
    }
  }
  run.strayEvents = at != typed.size();
  run.characters = expected.size();
  run.datagrams = batches.size();
  return run;
}

}  // namespace srd::test
