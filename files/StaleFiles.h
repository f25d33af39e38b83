#pragma once

// What runs that were killed left behind. The program names its temporary files and folders
// "<prefix><pid>-...", so a later run can tell whether their owner still runs and take away
// what nobody will finish.

#include <filesystem>
#include <string>

// True when the name is "<prefix><pid>-..." and process <pid> no longer runs.
bool LeftByEndedProcess(const std::string& name, const std::string& prefix);

// Removes the regular files of `folder` that such a name marks as left by an ended process.
// Failures are ignored: a file that cannot go now goes another time.
void RemoveStaleFiles(const std::filesystem::path& folder, const std::string& prefix);

// The same for the sub-folders of `folder`, each with everything in it.
void RemoveStaleFolders(const std::filesystem::path& folder, const std::string& prefix);
