// A FolderView that records, in order, everything the scan and the sequences tell the
// window, so tests can check the texts, values and button states and their order.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "protect/folder_view.h"

namespace kestravuna::testing {

inline std::string LabelName(ViewLabel label) {
  switch (label) {
    case ViewLabel::aktiv:
      return "aktiv";
    case ViewLabel::aktOrdner:
      return "aktOrdner";
    case ViewLabel::anzSubFolder:
      return "anzSubFolder";
    case ViewLabel::anzFiles:
      return "anzFiles";
    case ViewLabel::anzSize:
      return "anzSize";
  }
  return "?";
}

struct RecordedBox {
  BoxIcon icon;
  BoxOwner owner;
  std::string caption;
  std::string text;
};

class RecordingView : public FolderView {
 public:
  // Every event as one line: "aktiv=bereit", "progress=5", "code=1", "wait=shown", "box=...",
  // "busy=1", "drive=/mnt". Pumps are not recorded; they run `onPump` instead.
  std::vector<std::string> events;
  std::vector<RecordedBox> boxes;
  std::map<ViewLabel, std::string> labels;
  std::map<ViewButton, bool> buttons;
  int progress = -1;
  bool waitShown = false;
  bool busy = false;
  int pumps = 0;
  std::function<void()> onPump;

  void SetLabel(ViewLabel label, std::string_view text) override {
    labels[label] = text;
    events.push_back(LabelName(label) + "=" + std::string(text));
  }
  void SetProgress(int position) override {
    progress = position;
    events.push_back("progress=" + std::to_string(position));
  }
  void SetButtonEnabled(ViewButton button, bool enabled) override {
    buttons[button] = enabled;
    events.push_back(std::string(button == ViewButton::code ? "code=" : "decode=") +
                     (enabled ? "1" : "0"));
  }
  void ShowWaitWindow() override {
    waitShown = true;
    events.push_back("wait=shown");
  }
  void HideWaitWindow() override {
    waitShown = false;
    events.push_back("wait=hidden");
  }
  void ShowMessageBox(BoxIcon icon, BoxOwner owner, std::string_view caption,
                      std::string_view text) override {
    boxes.push_back({icon, owner, std::string(caption), std::string(text)});
    events.push_back("box=" + std::string(caption));
  }
  void PumpMessages() override {
    ++pumps;
    if (onPump) onPump();
  }
  void SetBusy(bool isBusy) override {
    busy = isBusy;
    events.push_back(std::string("busy=") + (isBusy ? "1" : "0"));
  }
  void ShowDrive(const std::filesystem::path& drive) override {
    events.push_back("drive=" + drive.string());
  }

  // The texts one label was given, in order.
  std::vector<std::string> LabelTexts(ViewLabel label) const {
    const std::string prefix = LabelName(label) + "=";
    std::vector<std::string> texts;
    for (const std::string& event : events) {
      if (event.starts_with(prefix)) texts.push_back(event.substr(prefix.size()));
    }
    return texts;
  }
  std::vector<int> ProgressValues() const {
    std::vector<int> values;
    for (const std::string& event : events) {
      if (event.starts_with("progress=")) values.push_back(std::stoi(event.substr(9)));
    }
    return values;
  }
  void Clear() {
    events.clear();
    boxes.clear();
  }
};

}  // namespace kestravuna::testing
