#include "qt_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace srd::test {

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  return true;
}

Script::Script(std::vector<Step> steps) : steps_(std::move(steps)) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  auto* timer = new QTimer;
  timer->setInterval(10);
  // One step per tick at most, so that the loop under test handles what a step caused before the next.
  QObject::connect(timer, &QTimer::timeout, timer, [this, timer, deadline] {
    if (Finished()) {
      return;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      timer->stop();
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        widget->close();
      }
    } else if (steps_[next_]()) {
      ++next_;
    }
  });
  timer->start();
  timer_ = timer;
}

Script::~Script() {
  delete static_cast<QTimer*>(timer_);
}

namespace {

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

std::uint16_t FreeUdpPort() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address = Loopback(0);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

void SendDatagram(std::uint16_t port, const std::string& text) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in address = Loopback(port);
  sendto(fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  close(fd);
}

}  // namespace srd::test
