#include "zip/entry_name.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/code_page.h"
#include "platform/path_names.h"
#include "zip/zip_archiver.h"

namespace ferrolo::zip {

namespace {

// `path` without its drive part and the separators right after it.
std::string_view without_drive(std::string_view path) {
    path.remove_prefix(platform::drive_part(path).size());
    while (!path.empty() && platform::is_path_separator(path.front())) {
        path.remove_prefix(1);
    }
    return path;
}

// `path` joined to `base_folder` as the system joins a path to the current folder.
std::string joined_path(std::string_view path, std::string_view base_folder) {
    const std::string_view drive = platform::drive_part(path);
    if (platform::is_absolute_path(path)) {
        return std::string(path);
    }
    if (!drive.empty()) {
        // "C:lun.zip" is taken from the root of its drive.
        return std::string(drive) + platform::kPathSeparator + std::string(path.substr(drive.size()));
    }
    if (!path.empty() && platform::is_path_separator(path.front())) {
        // "\lun.zip" is on the drive of the current folder.
        return std::string(platform::drive_part(base_folder)) + std::string(path);
    }
    return std::string(base_folder) + platform::kPathSeparator + std::string(path);
}

}  // namespace

std::string absolute_path(std::string_view path, std::string_view base_folder) {
    const std::string joined = joined_path(path, base_folder);
    const std::string_view root = platform::drive_part(joined);
    const bool trailing_separator = platform::ends_with_separator(joined);
    std::vector<std::string_view> parts;
    std::string_view rest = std::string_view(joined).substr(root.size());
    while (!rest.empty()) {
        const size_t separator = rest.find_first_of(platform::kPathSeparators);
        const std::string_view part = rest.substr(0, separator);
        rest = separator == std::string_view::npos ? std::string_view() : rest.substr(separator + 1);
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
            continue;
        }
        parts.push_back(part);
    }
    std::string result(root);
    for (const std::string_view part : parts) {
        if (!platform::ends_with_separator(result)) {
            result += platform::kPathSeparator;
        }
        result.append(part);
    }
    if ((parts.empty() || trailing_separator) && !platform::ends_with_separator(result)) {
        result += platform::kPathSeparator;
    }
    return result;
}

std::optional<std::string> stored_name_of(std::string_view path, bool is_folder, TZipStorePathMode mode,
                                          std::string_view base_folder) {
    while (path.size() > 1 && platform::ends_with_separator(path)) {
        path.remove_suffix(1);
    }
    std::string_view name;
    switch (mode) {
        case TZipStorePathMode::spNoPath:
            name = platform::name_part(path);
            break;
        case TZipStorePathMode::spRelativePath: {
            std::string_view base = base_folder;
            while (platform::ends_with_separator(base)) {
                base.remove_suffix(1);
            }
            if (path.size() > base.size() && platform::same_path(path.substr(0, base.size()), base) &&
                platform::is_path_separator(path[base.size()])) {
                name = path.substr(base.size() + 1);
            } else {
                // Outside the base folder the relative form would climb with "../": the full path is kept.
                name = without_drive(path);
            }
            break;
        }
        case TZipStorePathMode::spFullPath:
            name = without_drive(path);
            break;
        case TZipStorePathMode::spFullPathWithDrive:
            name = platform::drive_part(path).empty() ? without_drive(path) : path;
            break;
    }
    if (name.empty()) {
        return std::nullopt;
    }
    // Stored names separate folders with "/" whatever the system writes.
    std::string stored(name);
    std::replace_if(stored.begin(), stored.end(), platform::is_path_separator, '/');
    if (is_folder) {
        stored += '/';
    }
    return stored;
}

namespace {

bool has_non_ascii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<uint8_t>(c) >= 0x80) {
            return true;
        }
    }
    return false;
}

}  // namespace

EncodedName encode_entry_name(std::string_view name, bool oem_file_names) {
    if (oem_file_names) {
        if (auto oem = platform::utf8_to_cp850(name)) {
            return {std::move(*oem), false};
        }
    }
    return {std::string(name), has_non_ascii(name) && platform::is_valid_utf8(name)};
}

std::string decode_entry_name(std::string_view bytes, bool utf8) {
    return utf8 ? std::string(bytes) : platform::cp850_to_utf8(bytes);
}

}  // namespace ferrolo::zip
