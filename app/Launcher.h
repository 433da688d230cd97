#pragma once
// The program's entry sequence: one launcher per desktop. A second start
// brings the running one to the front and ends; otherwise the launcher
// window runs until it closes.

namespace launcher {

// The application title, which is also how a running launcher is found.
inline constexpr const char* ApplicationTitle = "Pellisto";

// Runs the launcher; returns the process's exit code (always 0).
int RunLauncher();

}  // namespace launcher
