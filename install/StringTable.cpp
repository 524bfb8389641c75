// The texts of the string table. Every message the program shows comes from here, so that the
// wizard and the quiet command line word each outcome the same way.
#include "install/StringTable.h"

#include <map>

namespace {

const std::map<StringId, std::string>& strings() {
    static const std::map<StringId, std::string> table{
        {IDS_SHEET_CAPTION, "Tockit Installer 1.0.0.11"},
        {IDS_REGISTRY_ERROR,
         "There was an error while trying to read the installation directory from the "
         "Registry."},
        {IDS_DOWNLOAD_FAILED, "Unable to read the Zip file."},
        {IDS_SOURCE_REQUIRED,
         "A file name or a Web address is required. Please enter a valid file name or Web "
         "address to continue."},
        {IDS_NOT_VALID,
         "The file selected is not a valid Tockit Zip file. Please select a different file to "
         "continue.\n\nNOTE: Files must not have a directory structure within the zip file. "
         "Files must also have at a minimum one APP and two BIN files (application and "
         "parameter) to be considered valid."},
        {IDS_INSTALLED, "The %s Tockit was successfully installed!"},
        {IDS_HOST_NOT_FOUND,
         "We were unable to find the Syndal software. Please make sure the application is "
         "installed and run this software again."},
        {IDS_FILE_MISSING, "The file does not exist. Please select another file and try again."},
        {IDS_MESSAGE_CAPTION, "Tockit Installer"},
        {IDS_CANNOT_WRITE, "The Tockit could not be installed: %1 could not be written (%2)."},
        {IDS_LINK_IN_THE_WAY,
         "The Tockit could not be installed: %1 is a link, and the installer does not write "
         "through links inside the App folder."},
    };
    return table;
}

}  // namespace

const std::string& loadString(StringId id) {
    return strings().at(id);
}

std::string formatMessage(StringId id, const std::vector<std::string>& arguments) {
    const std::string& pattern = loadString(id);
    std::string message;
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        const bool isPlaceholder = pattern[at] == '%' && at + 1 < pattern.size() &&
                                   pattern[at + 1] >= '1' && pattern[at + 1] <= '9';
        const auto index = isPlaceholder ? static_cast<std::size_t>(pattern[at + 1] - '1') : 0;
        if (isPlaceholder && index < arguments.size()) {
            // An argument is put in as it is: a "%1" inside a file name stays text.
            message += arguments[index];
            ++at;
        } else {
            message += pattern[at];
        }
    }
    return message;
}

std::string formatInstalledMessage(const std::string& appName) {
    // The name is put in as it is: a "%" inside it is text, not a format directive.
    std::string message = loadString(IDS_INSTALLED);
    const std::size_t placeholder = message.find("%s");
    return message.replace(placeholder, 2, appName);
}
