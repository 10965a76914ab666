// Writes the program's two cue assets, 101.wav (correct key) and 102.wav (wrong key), into the
// folder given as the only argument.
#include "cue_synthesis.h"
#include "wave_writer.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::vector<std::uint8_t> xmpPacket()
{
    // An XMP packet opens with a byte-order mark inside its begin attribute.
    return textBytes(
        std::string(R"(<?xpacket begin=")") + "\xEF\xBB\xBF"
            + R"(" id="W5M0MpCehiHzreSzNTczkc9d"?>)"
              R"(<x:xmpmeta xmlns:x="adobe:ns:meta/">)"
              R"(<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">)"
              R"(<rdf:Description rdf:about="" xmlns:dc="http://purl.org/dc/elements/1.1/">)"
              R"(<dc:title>Wrong key</dc:title>)"
              R"(<dc:creator>typing-drill sound generator</dc:creator>)"
              R"(</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end="r"?>)",
        false);
}

// A small creator record of our own: a format version, a four-character creator code and the
// name of the program that made the file.
std::vector<std::uint8_t> creatorRecord()
{
    std::vector<std::uint8_t> bytes = {1, 0, 0, 0};
    for (std::uint8_t byte : textBytes("TDRLtyping-drill sound generator 1.1", true))
        bytes.push_back(byte);
    return bytes;
}

// A display title: clipboard format 1 (plain text) followed by the text.
std::vector<std::uint8_t> displayTitle()
{
    std::vector<std::uint8_t> bytes = {1, 0, 0, 0};
    for (std::uint8_t byte : textBytes("Wrong key", true))
        bytes.push_back(byte);
    return bytes;
}

std::vector<std::uint8_t> infoList()
{
    std::vector<std::uint8_t> bytes = textBytes("INFO", false);
    auto appendEntry = [&bytes](const std::string &id, const std::string &text) {
        std::vector<std::uint8_t> payload = textBytes(text, true);
        bytes.insert(bytes.end(), id.begin(), id.end());
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<std::uint8_t>(payload.size() >> (8 * i)));
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        if (payload.size() % 2 != 0)
            bytes.push_back(0);
    };
    appendEntry("INAM", "Wrong key");
    appendEntry("ISFT", "青禾打字软件 typing drill 1.1");
    return bytes;
}

bool writeFile(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const auto correct = monoWaveFile(correctCueRate, correctCueSamples(), false);
    const auto wrong = monoWaveFile(wrongCueRate, wrongCueSamples(), true,
                                    {{"_PMX", xmpPacket()},
                                     {"Cr8r", creatorRecord()},
                                     {"DISP", displayTitle()},
                                     {"LIST", infoList()}});
    if (!writeFile(folder + "/101.wav", correct) || !writeFile(folder + "/102.wav", wrong)) {
        std::fprintf(stderr, "cannot write the cues into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
