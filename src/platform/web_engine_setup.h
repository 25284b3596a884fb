#pragma once
// What the embedded browser needs before the application object is made: shared
// OpenGL contexts, and, when running as root, Chromium's sandbox switched off
// (it refuses to start as root). Every program that may open a browser window
// calls this first thing in main().
namespace platform {

void PrepareWebEngine();

}  // namespace platform
