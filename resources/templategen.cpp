// Builds the two empty templates a new library starts from: "wil" (header, image count 0 and
// the palette of palette.txt: 1,080 bytes) and "wix" (index header, entry count 0: 48 bytes).
// Run at build time, so the templates always follow the palette table.
//
// usage: templategen PALETTE.txt OUTDIR

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr char libraryTitle[] = "#ILIB v1.0-ORBENA Entertainment inc.";
constexpr char indexTitle[] = "#INDX v1.0-ORBENA Entertainment inc.";
constexpr std::uint8_t libraryFiller[8] = {0x00, 0x00, 0x00, 0x00, 0x4D, 0x3E, 0x40, 0x00};
constexpr std::uint8_t indexFiller[8] = {0x0B, 0x00, 0x00, 0x00, 0x70, 0x78, 0xDA, 0x00};

void putInt32(std::vector<std::uint8_t> &out, std::size_t at, std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(u >> (8 * i));
}

std::vector<std::uint8_t> header(const char *title, const std::uint8_t (&filler)[8],
                                 std::size_t size)
{
    static_assert(sizeof(libraryTitle) == 37 && sizeof(indexTitle) == 37);
    std::vector<std::uint8_t> out(size, 0);
    std::memcpy(out.data(), title, 36);
    std::memcpy(out.data() + 36, filler, 8);
    putInt32(out, 44, 0); // no images
    return out;
}

bool fail(const std::string &message)
{
    std::cerr << "templategen: " << message << '\n';
    return false;
}

// Reads "index red green blue" lines; '#' starts a comment. Every index exactly once.
bool readPalette(const char *path, std::array<std::array<int, 3>, 256> &palette)
{
    std::ifstream in(path);
    if (!in)
        return fail(std::string(path) + ": cannot be read");
    std::array<bool, 256> seen{};
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream fields(line);
        long index, r, g, b;
        if (!(fields >> index)) {
            if (line.find_first_not_of(" \t\r") != std::string::npos)
                return fail(std::string(path) + ":" + std::to_string(lineNumber) +
                            ": not a number");
            continue;
        }
        std::string rest;
        if (!(fields >> r >> g >> b) || (fields >> rest))
            return fail(std::string(path) + ":" + std::to_string(lineNumber) +
                        ": expected \"index red green blue\"");
        if (index < 0 || index > 255 || r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255)
            return fail(std::string(path) + ":" + std::to_string(lineNumber) + ": out of range");
        if (seen[index])
            return fail(std::string(path) + ":" + std::to_string(lineNumber) + ": index " +
                        std::to_string(index) + " given twice");
        seen[index] = true;
        palette[index] = {int(r), int(g), int(b)};
    }
    for (int i = 0; i < 256; ++i)
        if (!seen[i])
            return fail(std::string(path) + ": index " + std::to_string(i) + " missing");
    return true;
}

bool writeFile(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    return out ? true : fail(path + ": cannot be written");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::cerr << "usage: templategen PALETTE.txt OUTDIR\n";
        return 2;
    }
    std::array<std::array<int, 3>, 256> palette{};
    if (!readPalette(argv[1], palette))
        return 1;

    std::vector<std::uint8_t> library = header(libraryTitle, libraryFiller, 1080);
    putInt32(library, 48, 256);  // colours
    putInt32(library, 52, 1024); // palette bytes
    for (int i = 0; i < 256; ++i) {
        std::uint8_t *entry = library.data() + 56 + 4 * i;
        entry[0] = std::uint8_t(palette[i][2]); // blue, green, red, 0
        entry[1] = std::uint8_t(palette[i][1]);
        entry[2] = std::uint8_t(palette[i][0]);
        entry[3] = 0;
    }
    const std::vector<std::uint8_t> index = header(indexTitle, indexFiller, 48);

    const std::string dir = argv[2];
    return writeFile(dir + "/wil", library) && writeFile(dir + "/wix", index) ? 0 : 1;
}
