// The program's string table: every text that it shows, by id.
#pragma once

#include <string>
#include <vector>

enum StringId {
    IDS_SHEET_CAPTION = 102,
    IDS_REGISTRY_ERROR = 105,
    IDS_DOWNLOAD_FAILED = 106,
    IDS_SOURCE_REQUIRED = 107,
    IDS_NOT_VALID = 108,
    IDS_INSTALLED = 109,
    IDS_HOST_NOT_FOUND = 110,
    IDS_FILE_MISSING = 111,
    IDS_MESSAGE_CAPTION = 115,
    IDS_CANNOT_WRITE = 116,
    IDS_LINK_IN_THE_WAY = 117,
};

const std::string& loadString(StringId id);

// The string with its %1, %2, ... replaced by the arguments, taken as plain text.
std::string formatMessage(StringId id, const std::vector<std::string>& arguments);

// String 109 with the package's display name in place of its %s.
std::string formatInstalledMessage(const std::string& appName);
