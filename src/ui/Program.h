// The whole desktop program as one object: the engine, the session and every
// window, created in the start-up order (main window first, then the others,
// hidden). main() makes one; a GUI test makes its own with its own program
// folder and prompts.
#pragma once

#include <memory>
#include <string>

#include "engine/Engine.h"
#include "ui/MainWindow.h"
#include "ui/Session.h"

namespace velmora::ui {

class Program {
public:
  Program(std::string programFolder, UserPrompts& prompts);
  ~Program();
  Engine& engine() { return engine_; }
  Session& session() { return session_; }
  MainWindow& mainWindow() { return *main_; }

private:
  Engine engine_;
  Session session_;
  std::unique_ptr<MainWindow> main_;
};

// The folder of the running executable.
std::string ExecutableFolder();

}  // namespace velmora::ui
