// The seed corpora of the fuzz targets: small archives made by the test archive builder,
// descriptors and registry files. Generated when needed so that the seeds follow the builder;
// nothing of them is committed.
#include "tests/fuzz/SeedCorpus.h"

#include <string_view>

#include "tests/support/ZipArchiveBuilder.h"

using namespace std::string_literals;

namespace {

std::string descriptor(std::string_view code, std::string_view parameters) {
    return "[Tockit]\nName=Mode X\nCODE=" + std::string(code) + "\nPAR=" + std::string(parameters) +
           "\n";
}

std::string packageOf(std::vector<PlannedEntry> entries) {
    ZipArchiveBuilder builder;
    for (PlannedEntry& entry : entries) {
        builder.add(std::move(entry));
    }
    return builder.build();
}

// The extra field that carries an entry's UTF-8 name beside its code-page name.
std::string unicodePathField(std::string_view storedName, std::string_view utf8Name) {
    const std::uint32_t crc = ZipArchiveBuilder::crcOf(storedName);
    const auto size = static_cast<std::uint16_t>(5 + utf8Name.size());
    std::string field = {'\x75', '\x70', static_cast<char>(size & 0xFF),
                         static_cast<char>(size >> 8), '\x01'};
    for (int shift = 0; shift < 32; shift += 8) {
        field += static_cast<char>((crc >> shift) & 0xFF);
    }
    return field + std::string(utf8Name);
}

Seeds archiveSeeds() {
    const std::string valid = descriptor("a.bin", "p.bin");
    return {
        packageOf({{.name = "x.app", .content = valid},
                   {.name = "a.bin", .content = "code"},
                   {.name = "p.bin", .content = "par"}}),
        packageOf({{.name = "x.app",
                    .content = valid,
                    .method = 0,
                    .descriptor = DataDescriptor::withSignature},
                   {.name = "a.bin",
                    .content = std::string(300, 'c'),
                    .descriptor = DataDescriptor::withoutSignature},
                   {.name = "p.bin", .content = "par", .externalAttributes = 0x21}}),
        packageOf({{.name = "dir/", .method = 0, .externalAttributes = 0x10},
                   {.name = "dir/x.app", .content = descriptor("dir\\a.bin", "dir\\a.bin")},
                   {.name = "dir/a.bin", .content = "code"}}),
        packageOf({{.name = "caf\x82.app",
                    .content = valid,
                    .extraField = unicodePathField("caf\x82.app", "caf\xC3\xA9.app")},
                   {.name = "a.bin", .content = "code", .flags = 0x0800},
                   {.name = "p.bin", .content = "par", .flags = 0x0001}}),
        ZipArchiveBuilder().addStoredFile("a.bin", "code").setComment("a comment").build(),
        ZipArchiveBuilder().prependStub("MZ stub").addFile("x.app", valid).build(),
        ZipArchiveBuilder().build(),
    };
}

Seeds iniSeeds() {
    return {
        "\x05"s + "TockiCODE" + descriptor("a.bin", "p.bin"),
        "\x00\xEF\xBB\xBF[ Tockit ]\r\n; comment\r\ncode = \"a.bin\"\r\nPAR='p.bin'\r\n"s,
        "\x03Nam[Other]\nName=x\n[Tockit]\nName=first\nName=second\nnoequals\n",
        "\x02PA[Tockit]\nPAR=" + std::string(300, 'v') + "\n",
    };
}

Seeds registrySeeds() {
    const std::string exported =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\r\n"
        "\"Path\"=\"C:\\\\Program Files\\\\Syndal\\\\Syndal.exe\"\r\n"
        "\"Count\"=dword:0000002a\r\n"
        "\"Bytes\"=hex:01,02,ff\r\n"
        "\"Expand\"=hex(2):25,00,50,00,00,00\r\n";
    std::string utf16 = "\xFF\xFE";
    for (const char character : exported) {
        utf16 += character;
        utf16 += '\0';
    }
    return {
        exported,
        utf16,
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n\"Path\"=\"/opt/s\"\n",
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
        "[Software\\\\Corvane\\\\Syndal USB] 1700000000\n#time=1d9\n"
        "\"Path\"=str(2):\"C:\\\\s\\\\Syndal.exe\"\n\"Name\"=\"a \\\"quoted\\\" name\"\n",
    };
}

}  // namespace

Seeds seedsFor(std::string_view target) {
    if (target == "archive") {
        return archiveSeeds();
    }
    if (target == "ini") {
        return iniSeeds();
    }
    if (target == "registry") {
        return registrySeeds();
    }
    return {};
}
