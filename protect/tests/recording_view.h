// A FolderView that records, in order, everything the scan and the sequences tell the
// window, so tests can check the texts, values and action states and their order.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "protect/folder_view.h"

namespace kestravuna::test_support {

// The texts the window shows: the status line, the folder and the three figures.
enum class Shown { Status, Folder, SubFolders, Files, Size };

inline std::string ShownName(Shown what) {
  switch (what) {
    case Shown::Status:
      return "status";
    case Shown::Folder:
      return "folder";
    case Shown::SubFolders:
      return "subfolders";
    case Shown::Files:
      return "files";
    case Shown::Size:
      return "size";
  }
  return "?";
}

inline Shown ShownFor(Statistic figure) {
  switch (figure) {
    case Statistic::SubFolders:
      return Shown::SubFolders;
    case Statistic::Files:
      return Shown::Files;
    case Statistic::Size:
      return Shown::Size;
  }
  return Shown::Status;
}

class RecordingView : public FolderView {
 public:
  // Every event as one line: "status=bereit", "progress=5", "protect=1", "wait=shown",
  // "box=...", "busy=1", "drive=/mnt". Pumps are not recorded; they run `onPump` instead.
  std::vector<std::string> events;
  std::vector<MessageBox> boxes;
  std::map<Shown, std::string> labels;
  std::map<Action, bool> actions;
  int progress = -1;
  bool waitShown = false;
  bool busy = false;
  int pumps = 0;
  std::function<void()> onPump;

  void ShowStatus(std::string_view text) override { Show(Shown::Status, text); }
  void ShowFolder(const std::filesystem::path& folder) override {
    Show(Shown::Folder, folder.string());
  }
  void ShowStatistic(Statistic figure, std::string_view text) override {
    Show(ShownFor(figure), text);
  }
  void ShowProgress(int position) override {
    progress = position;
    events.push_back("progress=" + std::to_string(position));
  }
  void EnableAction(Action action, bool enabled) override {
    actions[action] = enabled;
    events.push_back(std::string(action == Action::Protect ? "protect=" : "restore=") +
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
  void ShowMessage(const MessageBox& box) override {
    boxes.push_back(box);
    events.push_back("box=" + box.caption);
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
  std::vector<std::string> LabelTexts(Shown what) const {
    const std::string prefix = ShownName(what) + "=";
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

 private:
  void Show(Shown what, std::string_view text) {
    labels[what] = text;
    events.push_back(ShownName(what) + "=" + std::string(text));
  }
};

}  // namespace kestravuna::test_support
