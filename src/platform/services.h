#pragma once

// Creates the Allocator, FileSystem and Log, sets gAllocator, gFileSystem and
// gLog, and registers the exit steps that write "app.log" on every way out.
void startServices();

// Exit step: the allocation report and "EXIT" go into the Log.
void stopServices();
