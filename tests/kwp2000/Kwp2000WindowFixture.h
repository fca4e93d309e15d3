// The KWP2000 tester's window on the simulated interface, in a working directory of its own:
// what the window tests share.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLineEdit>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kwp2000/QuobrixKWP2000ProfMain.h"
#include "sim/Kwp2000EcuFrame.h"
#include "sim/SimulatedFtdi.h"
#include "tests/ui/QtTestEnvironment.h"
#include "ui/ActivityLogMemo.h"

namespace kwp2000test {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// A fresh working directory with an empty Def/ directory, current while it exists.
class ScopedWorkingDirectory {
 public:
  ScopedWorkingDirectory() : previous_(std::filesystem::current_path()) {
    static int count = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("quobrix-kwp2000-window-" + std::to_string(getpid()) + "-" + std::to_string(++count));
    std::filesystem::create_directories(path_ / "Def");
    std::filesystem::current_path(path_);
  }
  ~ScopedWorkingDirectory() {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(path_);
  }
  std::string Path() const { return path_.string() + "/"; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

class Kwp2000Window : public ::testing::Test {
 protected:
  void SetUp() override { uitest::App(); }

  void Open(tester::TVersionLookup lookup = TQuobrixKWP2000Form::CompiledVersion) {
    form = std::make_unique<TQuobrixKWP2000Form>(std::move(lookup));
  }
  template <class T = QWidget>
  T& Control(const char* name) {
    T* control = form->findChild<T*>(name);
    if (!control) throw std::logic_error(std::string("no control ") + name);
    return *control;
  }
  Lines Log() {
    auto& memo = Control<ui::ActivityLogMemo>("Memo1");
    Lines lines;
    for (int i = 0; i < memo.LineCount(); ++i)
      lines.push_back(memo.Line(i));
    return lines;
  }
  bool Logged(const std::string& line) {
    const Lines lines = Log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  static bool ServeUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  void Click(const char* name) { Control<QAbstractButton>(name).click(); }
  void SetText(const char* name, const char* text) { Control<QLineEdit>(name).setText(text); }
  bool AwaitIdle() {
    return ServeUntil([this] { return form->CommThread() == nullptr; }, 15000);
  }
  Bytes TesterBytes() {
    simulation.Bus().Drain();
    Bytes bytes;
    for (const sim::LineEvent& event : simulation.Bus().Trace())
      if (event.kind == sim::LineEventKind::TesterByte) bytes.push_back(event.value);
    return bytes;
  }
  // The payloads (service id and data) of the frames the tester sent, from the `first` on.
  std::vector<Bytes> TesterPayloads(size_t first = 0) {
    simulation.Bus().Drain();
    const auto frames =
        sim::Kwp2000FramesOnLine(simulation.Bus().Trace(), sim::LineEventKind::TesterByte);
    std::vector<Bytes> payloads;
    for (size_t i = first; i < frames.size(); ++i)
      payloads.push_back(frames[i].frame.payload);
    return payloads;
  }
  bool Sent(const Bytes& frame) {
    const Bytes bytes = TesterBytes();
    return std::search(bytes.begin(), bytes.end(), frame.begin(), frame.end()) != bytes.end();
  }
  // The window is idle: nothing connected, every start and stop control enabled, port closed.
  void ExpectIdle() {
    EXPECT_EQ(form->CommThread(), nullptr);
    for (const char* name :
         {"ComboBoxComPort", "CheckBoxSetDTR", "CheckBoxRcvEcho", "ButtonStartComm2000",
          "ButtonStartComplete", "ButtonStopComm2000", "ButtonStopAll"})
      EXPECT_TRUE(Control(name).isEnabled()) << name;
    EXPECT_FALSE(simulation.Ftdi().State().open);
  }

  ScopedWorkingDirectory directory;
  sim::ScopedSimulation simulation;
  uitest::MessageBoxRecorder boxes;
  std::unique_ptr<TQuobrixKWP2000Form> form;
};

}  // namespace kwp2000test
