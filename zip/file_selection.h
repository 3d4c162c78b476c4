// zip/file_selection.h — which files and folders a mask selects, in the order they are queued.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "zip/zip_error.h"

namespace ferrolo::zip {

struct SelectionRules {
    std::string mask;  // absolute; Windows wildcards in the file part only
    uint32_t search_attr = 0;
    bool recurse = true;
    std::vector<std::string> exclusions;      // engine masks matched against full paths
    std::vector<std::string> excluded_files;  // absolute paths left out when met exactly
};

// Calls `found` with the absolute path of each file and folder to queue: the files of a folder (sorted
// by name) before its sub-folders, each sub-folder's entry before its contents. A folder that cannot be
// listed goes to `unreadable`, which answers: zaRetry lists it again, zaIgnore leaves it out, zaAbort
// stops the walk; a name listed but not examined goes there too (a retry leaves it out). Returns false
// when the walk was stopped.
bool select_files(const SelectionRules& rules,
                  const std::function<void(const std::string& path, const platform::DirEntry& entry)>& found,
                  const std::function<TZipAction(const std::string& folder)>& unreadable);

}  // namespace ferrolo::zip
