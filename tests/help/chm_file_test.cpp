#include "help/chm_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "help/help_contexts.h"

namespace {

namespace fs = std::filesystem;

std::string LE32(uint32_t v) {
    return {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
}

TEST(HelpContextMap, EveryOffsetAndLengthIsChecked) {
    const std::string strings = std::string("\0/a/b.htm\0/c.htm\0/open", 22);
    const struct {
        const char* what;
        std::string ivb;
        std::map<uint32_t, std::string> map;
    } cases[] = {
        {"two entries",
         LE32(16) + LE32(1000) + LE32(1) + LE32(2000) + LE32(10),
         {{1000, "/a/b.htm"}, {2000, "/c.htm"}}},
        {"length beyond the stream", LE32(0xFFFFFFF8) + LE32(1000) + LE32(1), {{1000, "/a/b.htm"}}},
        {"length shorter than the entries",
         LE32(8) + LE32(1000) + LE32(1) + LE32(2000) + LE32(10),
         {{1000, "/a/b.htm"}}},
        {"half an entry", LE32(12) + LE32(1000) + LE32(1) + LE32(2000), {{1000, "/a/b.htm"}}},
        {"offset past the strings", LE32(8) + LE32(1000) + LE32(0xFFFFFFFF), {}},
        {"text without its terminator", LE32(8) + LE32(1000) + LE32(17), {}},
        {"empty text", LE32(8) + LE32(1000) + LE32(0), {}},
        {"no length", std::string("\x10\0", 2), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseContextMap(c.ivb, strings), c.map) << c.what;
}

TEST(HelpContextMap, DefaultTopicFromTheSystemStream) {
    const std::string entry2 = std::string("\x02\0\x0b\0inhalt.htm\0", 15);
    const std::string other = std::string("\x09\0\x02\0xy", 6);
    EXPECT_EQ(ParseDefaultTopic(LE32(3) + other + entry2), "inhalt.htm");
    EXPECT_EQ(ParseDefaultTopic(LE32(3) + std::string("\x02\0\xff\0inhalt", 10)), "");
    EXPECT_EQ(ParseDefaultTopic("\x03"), "");
}

// The file the build ships.
TEST(ShippedHelpFile, EveryContextOfTheProgramOpensItsTopic) {
    const auto file = HelpFile::Open(SONAVIX_HELP_FILE);
    ASSERT_TRUE(file);
    const struct {
        uint32_t context;
        const char* topic;
    } contexts[] = {{IDH_HAUPTFENSTER, "/hauptfenster.htm"},
                    {IDH_FOLGEN, "/folgen.htm"},
                    {IDH_FORMEL, "/formel.htm"},
                    {IDH_OEIS, "/oeis.htm"},
                    {IDH_KARTEN, "/karten.htm"},
                    {IDH_ABSPIELEN, "/abspielen.htm"},
                    {IDH_STIMMEN, "/stimmen.htm"},
                    {IDH_ANSICHT, "/ansicht.htm"},
                    {IDH_BARRIEREFREIHEIT, "/barrierefreiheit.htm"},
                    {IDH_SETUPDATEIEN, "/setupdateien.htm"},
                    {IDH_PARTITUR, "/partitur.htm"},
                    {IDH_GANZE_FOLGEN, "/ganze_folgen.htm"},
                    {IDH_KOMMANDOZEILE, "/kommandozeile.htm"},
                    {IDH_FUELLEN, "/fuellen.htm"},
                    {IDH_AUDIOEXPORT, "/audioexport.htm"},
                    {IDH_AUSDRUCK, "/ausdruck.htm"},
                    {IDH_DATENDATEI, "/datendatei.htm"},
                    {IDH_AUDIOFORMATE, "/audioformate.htm"},
                    {IDH_MIDIEINGANG, "/midieingang.htm"}};
    EXPECT_EQ(file->ContextMap().size(), std::size(contexts));
    for (const auto& c : contexts) {
        EXPECT_EQ(file->TopicOfContext(c.context), c.topic) << c.context;
        const auto page = file->Read(c.topic);
        ASSERT_TRUE(page) << c.topic;
        EXPECT_NE(page->find("<h1>"), std::string::npos) << c.topic;
    }
    EXPECT_EQ(file->TopicOfContext(0), std::nullopt);
    EXPECT_EQ(file->DefaultTopic(), "/inhalt.htm");
    EXPECT_TRUE(file->Read("/sonavix.png"));
}

TEST(ShippedHelpFile, HeadersWhoseSizesDoNotFitTheFileAreRefused) {
    std::ifstream in(SONAVIX_HELP_FILE, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(whole.size(), 0x200u);
    const size_t dir = whole[0x48] & 0xFF;  // the directory lies near the start
    auto sound = [&](const std::string& file) {
        return ChmHeadersSound(file.substr(0, 0x60), file.substr(dir, 0x54), file.size());
    };
    EXPECT_TRUE(sound(whole));
    const struct {
        const char* what;
        size_t at;
        std::string bytes;
    } forged[] = {
        {"block length of gigabytes", dir + 0x10, LE32(0xBD740000)},
        {"directory past the end", 0x50, LE32(0x7FFFFFFF)},
        {"first block outside the directory", dir + 0x20, LE32(7)},
        {"index root outside the directory", dir + 0x1C, LE32(9)},
        {"more blocks than the directory holds", dir + 0x2C, LE32(100000)},
        {"not a help file", 0, "ITSX"},
    };
    for (const auto& f : forged) {
        std::string file = whole;
        file.replace(f.at, f.bytes.size(), f.bytes);
        EXPECT_FALSE(sound(file)) << f.what;
    }
}

TEST(HelpFileChecks, CompressionParametersOutsideTheFormatAreRefused) {
    // As the help compiler writes them: 64 KiB window, three 32 KiB blocks
    // compressed to 3584 bytes each, then the rest.
    const std::string control = LE32(6) + "LZXC" + LE32(2) + LE32(2) + LE32(2) + LE32(1) + LE32(0);
    const std::string table = LE32(0) + LE32(0) + LE32(0xE00) + LE32(0) + LE32(0x1C00) + LE32(0);
    const std::string reset = LE32(2) + LE32(3) + LE32(8) + LE32(40) + LE32(0x81b2) + LE32(0) +
                              LE32(0x29be) + LE32(0) + LE32(0x8000) + LE32(0) + table;
    EXPECT_TRUE(LzxParametersSound(control, reset));
    auto forged = [](std::string s, size_t at, uint32_t v) { return s.replace(at, 4, LE32(v)); };
    EXPECT_FALSE(LzxParametersSound(control, forged(reset, 32, 0xB46A0000))) << "block length";
    EXPECT_FALSE(LzxParametersSound(control, forged(reset, 4, 1000))) << "blocks past the table";
    EXPECT_FALSE(LzxParametersSound(control, forged(reset, 48, 0xF000))) << "block past its buffer";
    EXPECT_FALSE(LzxParametersSound(control, forged(reset, 56, 0x100))) << "blocks out of order";
    EXPECT_FALSE(LzxParametersSound(control, forged(reset, 24, 0x100))) << "last block before end";
    EXPECT_FALSE(LzxParametersSound(forged(control, 16, 3), reset)) << "window not a power of two";
    EXPECT_FALSE(LzxParametersSound(forged(control, 16, 0x10000), reset)) << "window of 2 GiB";
    EXPECT_FALSE(LzxParametersSound(forged(control, 12, 0), reset)) << "no reset interval";
}

TEST(ShippedHelpFile, CorruptTruncatedOrMissingFilesOpenNothing) {
    std::ifstream in(SONAVIX_HELP_FILE, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), {});
    const fs::path path = fs::temp_directory_path() / "sonavix-broken.chm";
    // Cut at the headers, inside the directory and inside the content; then damage the middle.
    for (size_t cut : {size_t{0}, size_t{40}, size_t{120}, whole.size() / 3, whole.size() - 100}) {
        std::ofstream(path, std::ios::binary) << whole.substr(0, cut);
        const auto file = HelpFile::Open(path.string());
        if (cut <= 40) {
            EXPECT_EQ(file, nullptr) << cut;
        }
        if (file) file->TopicOfContext(IDH_ABSPIELEN);
    }
    // A window of one byte: the library would divide by zero while opening the file.
    std::string tiny = whole;
    const size_t lzxc = tiny.find("LZXC");
    ASSERT_NE(lzxc, std::string::npos);
    tiny.replace(lzxc + 4, 12, LE32(1) + LE32(1) + LE32(1));
    std::ofstream(path, std::ios::binary) << tiny;
    EXPECT_EQ(HelpFile::Open(path.string()), nullptr);

    // An entry in a section the format does not have: the library, too, would
    // divide by zero while opening the file.
    std::string section = whole;
    const std::string resetTable = "InstanceData/ResetTable";
    const size_t entry = section.find(resetTable);
    ASSERT_NE(entry, std::string::npos);
    section[entry + resetTable.size()] = 117;
    std::ofstream(path, std::ios::binary) << section;
    EXPECT_EQ(HelpFile::Open(path.string()), nullptr);

    std::string damaged = whole;
    for (size_t i = 0x60; i < damaged.size(); i += 97) damaged[i] = static_cast<char>(~damaged[i]);
    std::ofstream(path, std::ios::binary) << damaged;
    if (const auto file = HelpFile::Open(path.string()))
        for (const auto& [context, stored] : file->ContextMap()) file->TopicOfContext(context);
    fs::remove(path);
    EXPECT_EQ(HelpFile::Open("/nonexistent/Sonavix Hilfe.chm"), nullptr);
}

}  // namespace
