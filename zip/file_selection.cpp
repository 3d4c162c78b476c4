#include "zip/file_selection.h"

#include <algorithm>

#include "platform/path_names.h"
#include "platform/system_error.h"
#include "platform/wildcard.h"
#include "zip/name_mask.h"

namespace ferrolo::zip {

namespace {

constexpr uint32_t kAttributesOfUntypedFile = platform::attribute::kReadOnly | platform::attribute::kHidden |
                                              platform::attribute::kSystem | platform::attribute::kArchive;

class Walk {
public:
    Walk(const SelectionRules& rules, std::string_view pattern,
         const std::function<void(const std::string&, const platform::DirEntry&)>& found,
         const std::function<TZipAction(const std::string&)>& unreadable)
        : rules_(rules), pattern_(pattern), found_(found), unreadable_(unreadable) {}

    bool excluded(const std::string& path) const {
        if (std::any_of(rules_.excluded_files.begin(), rules_.excluded_files.end(),
                        [&](const std::string& file) { return platform::same_path(file, path); })) {
            return true;
        }
        for (const std::string& exclusion : rules_.exclusions) {
            if (!exclusion.empty() && matches_name_mask(path, exclusion)) {
                return true;
            }
        }
        return false;
    }

    bool file_wanted(const platform::DirEntry& entry) const {
        const uint32_t wanted = rules_.search_attr & ~platform::attribute::kDirectory;
        return (entry.attributes & wanted) != 0 ||
               (entry.attributes == 0 &&
                (rules_.search_attr & kAttributesOfUntypedFile) == kAttributesOfUntypedFile);
    }

    bool folder_selected(const std::string& name) const {
        return (rules_.search_attr & platform::attribute::kDirectory) != 0 &&
               (matches_name_mask(name, pattern_) || matches_name_mask(name + ".", pattern_));
    }

    // `folder` ends with a separator. Returns false once the walk is stopped.
    bool search(const std::string& folder) {
        std::vector<platform::DirEntry> entries;
        std::vector<std::string> unexamined;
        const Attempt listing = attempt_until_decided<platform::SystemError>(
            [&] {
                unexamined.clear();
                entries = platform::find_files(folder, "*", platform::kFileNameCase, unexamined);
            },
            [&](const platform::SystemError&) {
                return unreadable_(folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder);
            });
        if (listing != Attempt::Done) {
            return listing == Attempt::Ignored;
        }
        // A name listed but not examined is reported as a folder that cannot be listed is, never skipped
        // in silence; a retry of it counts as leaving it out.
        for (const std::string& name : unexamined) {
            const std::string path = folder + name;
            if (platform::matches_file_mask(name, pattern_, platform::kFileNameCase) && !excluded(path) &&
                unreadable_(path) == TZipAction::zaAbort) {
                return false;
            }
        }
        for (const platform::DirEntry& entry : entries) {
            const std::string path = folder + entry.name;
            if (!entry.is_folder() &&
                platform::matches_file_mask(entry.name, pattern_, platform::kFileNameCase) &&
                file_wanted(entry) && !excluded(path)) {
                found_(path, entry);
            }
        }
        for (const platform::DirEntry& entry : entries) {
            const std::string path = folder + entry.name;
            if (!entry.is_folder() || excluded(path)) {
                continue;
            }
            const bool selected = folder_selected(entry.name);
            if (selected) {
                found_(path, entry);
            }
            if ((selected || rules_.recurse) && !search(path + platform::kPathSeparator)) {
                return false;
            }
        }
        return true;
    }

private:
    const SelectionRules& rules_;
    std::string pattern_;
    const std::function<void(const std::string&, const platform::DirEntry&)>& found_;
    const std::function<TZipAction(const std::string&)>& unreadable_;
};

}  // namespace

bool select_files(const SelectionRules& rules,
                  const std::function<void(const std::string& path, const platform::DirEntry& entry)>& found,
                  const std::function<TZipAction(const std::string& folder)>& unreadable) {
    const std::string folder(platform::folder_part(rules.mask));
    const std::string_view pattern = platform::name_part(rules.mask);
    if (pattern.empty()) {
        return true;
    }
    Walk walk(rules, pattern, found, unreadable);
    if (!platform::has_wildcards(pattern)) {
        if (const auto entry = platform::path_entry(rules.mask); entry && !entry->is_folder()) {
            if (!walk.excluded(rules.mask)) {
                found(rules.mask, *entry);
            }
            return true;
        }
    }
    return walk.search(folder);
}

}  // namespace ferrolo::zip
