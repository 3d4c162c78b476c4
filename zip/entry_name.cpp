#include "zip/entry_name.h"

#include <cstdint>
#include <vector>

#include "platform/code_page.h"
#include "zip/zip_archiver.h"

namespace ferrolo::zip {

std::string absolute_path(std::string_view path, std::string_view base_folder) {
    std::string joined;
    if (!path.starts_with('/')) {
        joined.append(base_folder).append("/");
    }
    joined.append(path);
    const bool trailing_slash = joined.ends_with('/');
    std::vector<std::string_view> parts;
    std::string_view rest = joined;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
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
    std::string result;
    for (const std::string_view part : parts) {
        result.append("/").append(part);
    }
    if (result.empty() || trailing_slash) {
        result += '/';
    }
    return result;
}

std::optional<std::string> stored_name_of(std::string_view path, bool is_folder, TZipStorePathMode mode,
                                          std::string_view base_folder) {
    while (path.size() > 1 && path.ends_with('/')) {
        path.remove_suffix(1);
    }
    std::string_view name;
    switch (mode) {
        case TZipStorePathMode::spNoPath:
            name = path.substr(path.rfind('/') + 1);
            break;
        case TZipStorePathMode::spRelativePath: {
            std::string_view base = base_folder;
            while (base.ends_with('/')) {
                base.remove_suffix(1);
            }
            if (path.size() > base.size() && path.starts_with(base) && path[base.size()] == '/') {
                name = path.substr(base.size() + 1);
            } else {
                // Outside the base folder the relative form would climb with "../": the full path is kept.
                name = path.substr(1);
            }
            break;
        }
        case TZipStorePathMode::spFullPath:
        case TZipStorePathMode::spFullPathWithDrive:
            name = path.substr(path.find_first_not_of('/') == std::string_view::npos
                                   ? path.size()
                                   : path.find_first_not_of('/'));
            break;
    }
    if (name.empty()) {
        return std::nullopt;
    }
    std::string stored(name);
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
