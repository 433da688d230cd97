#pragma once
// The subcommands of pellisto-gif. Each lives in a file of its own and is
// listed once in the table in main.cpp.

#include <memory>
#include <string>
#include <vector>

#include "gif/picture/GIFImage.h"

namespace tools {

// A usage mistake: reported with the usage text, exit code 2.
struct UsageError {
  std::string Message;
};

using Args = std::vector<std::string>;

// Runs a subcommand with the arguments after its name; returns the exit
// code. Failures of the library propagate as platform::Exception.
using CommandFunction = int (*)(const Args& args);

struct Command {
  const char* Name;
  const char* Usage;  // the arguments, for the usage text
  CommandFunction Run;
};

int RunInfo(const Args& args);
int RunIndices(const Args& args);
int RunConvert(const Args& args);
int RunCopy(const Args& args);
int RunFrames(const Args& args);
int RunPlay(const Args& args);

// Loads a GIF file, collecting its warnings; shows a progress bar on a
// terminal. Raises the library's error when the file cannot be read.
struct LoadedGif {
  std::unique_ptr<gif::TGIFImage> Image;
  std::vector<std::string> Warnings;
};
LoadedGif LoadGif(const std::string& path);

// Attaches a progress bar to standard error when it is a terminal.
void ShowProgress(platform::TGraphic& graphic);

}  // namespace tools
