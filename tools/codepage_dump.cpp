// Prints what the code-page layer makes of a large set of byte sequences, one line each,
// so that the output of the native build can be compared with the Windows build's output
// under Wine (tools/compare_codepages.sh). Code points are printed in hexadecimal whatever
// the width of wchar_t.

#include <cstdio>
#include <string>
#include <vector>

#include "dicom/text/CodePage.h"

namespace {

std::vector<char32_t> CodePoints(const std::wstring& text)
{
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t unit = static_cast<char32_t>(text[i]);
        if (sizeof(wchar_t) == 2) {
            unit &= 0xFFFF;
            if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size()) {
                const char32_t low = static_cast<char32_t>(text[i + 1]) & 0xFFFF;
                if (low >= 0xDC00 && low < 0xE000) {
                    out.push_back(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                    ++i;
                    continue;
                }
            }
        }
        out.push_back(unit);
    }
    return out;
}

void Dump(unsigned codePage, const std::string& bytes)
{
    std::printf("%u", codePage);
    for (char byte : bytes) {
        std::printf(" %02X", static_cast<unsigned char>(byte));
    }
    std::wstring text;
    if (!ConvertCodePageToWide(codePage, bytes, text)) {
        std::printf(" : FAIL\n");
        return;
    }
    std::printf(" :");
    for (char32_t codePoint : CodePoints(text)) {
        std::printf(" %04X", static_cast<unsigned>(codePoint));
    }
    std::printf("\n");
}

std::string Bytes(std::initializer_list<unsigned> values)
{
    std::string out;
    for (unsigned value : values) {
        out += static_cast<char>(value);
    }
    return out;
}

}  // namespace

int main()
{
    const unsigned singleByte[] = {0, 874, 28591, 28592, 28593, 28594, 28595, 28596, 28597, 28598, 28599};
    for (unsigned codePage : singleByte) {
        for (unsigned byte = 1; byte < 256; ++byte) {
            Dump(codePage, Bytes({byte}));
        }
    }

    // Double-byte code pages: every byte alone, after 'A', and every pair after a lead byte.
    const unsigned doubleByte[] = {932, 949, 54936};
    for (unsigned codePage : doubleByte) {
        for (unsigned first = 1; first < 256; ++first) {
            Dump(codePage, Bytes({first}));
            Dump(codePage, Bytes({0x41, first}));
            if (first < 0x80) {
                continue;
            }
            for (unsigned second = 1; second < 256; ++second) {
                Dump(codePage, Bytes({first, second}));
            }
        }
    }

    // GB18030 four-byte codes: all those of the BMP, the first and last supplementary ones,
    // codes past U+10FFFF and broken forms.
    for (unsigned index = 0; index < 39420 + 10; ++index) {
        Dump(54936, Bytes({0x81 + index / 12600, 0x30 + index / 1260 % 10, 0x81 + index / 10 % 126,
                           0x30 + index % 10}));
    }
    const unsigned supplementary[][4] = {{0x90, 0x30, 0x81, 0x30}, {0x90, 0x30, 0x81, 0x39},
                                         {0x95, 0x32, 0x82, 0x36}, {0xE3, 0x32, 0x9A, 0x35},
                                         {0xE3, 0x32, 0x9A, 0x36}, {0xFE, 0x39, 0xFE, 0x39},
                                         {0x84, 0x31, 0xA5, 0x30}, {0x8F, 0x39, 0xFE, 0x39}};
    for (const auto& code : supplementary) {
        Dump(54936, Bytes({code[0], code[1], code[2], code[3]}));
        Dump(54936, Bytes({code[0], code[1], code[2]}));
        Dump(54936, Bytes({code[0], code[1], 0x41, code[3]}));
    }

    // UTF-8: every combination of up to four bytes from the classes that matter.
    const unsigned classes[] = {0x41, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3,
                                0xF4, 0xF5, 0xF7, 0xF8, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
    for (unsigned a : classes) {
        Dump(65001, Bytes({a}));
        for (unsigned b : classes) {
            Dump(65001, Bytes({a, b}));
            for (unsigned c : classes) {
                Dump(65001, Bytes({a, b, c}));
                for (unsigned d : classes) {
                    Dump(65001, Bytes({a, b, c, d}));
                }
            }
        }
    }

    // ISO-2022-JP: escapes, shifts and pairs in every mode.
    const char* jis[] = {
        "\x1B$B$d$^$@\x1B(B", "\x1B$@;3ED\x1B(J^", "\x1B(I4:\x1B(B", "\x0E\x34\x3A\x0F" "A",
        "\x1B$(D\x30\x21\x1B(B", "\x1B$B\x30", "\x1B$B\x30\x7F", "\x1B$B\x7F\x21",
        "\x1B(I\x60 \x21", "\xB1\xDF\xA0\x80\xFD\x81\x41", "\x1B$A\x30\x21", "\x1B",
        "\x1B$", "\x1B&@\x1B$B\x30\x21", "\x0E\x0E\x0F\x21", "\x1B$B\x0E\x21\x0F\x30\x21",
        "\x1B$B\x2D\x21\x2D\x7E\x74\x26\x75\x21",
    };
    for (const char* text : jis) {
        Dump(50222, text);
    }
    for (unsigned first = 0x21; first <= 0x7E; ++first) {
        for (unsigned second = 0x21; second <= 0x7E; ++second) {
            Dump(50222, std::string("\x1B$B") + Bytes({first, second}));
        }
    }

    // Code pages nobody maps.
    Dump(51949, "A");
    Dump(12345, "A");

    // The round trip through code page 0.
    std::string all;
    for (unsigned byte = 1; byte < 256; ++byte) {
        all += static_cast<char>(byte);
    }
    std::wstring text;
    std::string back;
    const bool read = ConvertCodePageToWide(0, all, text);
    const bool written = ConvertWideToDefaultCodePage(text, back);
    std::printf("round trip of bytes 1-255 through code page %u: %s\n", GetDefaultAnsiCodePage(),
                read && written && back == all ? "same bytes" : "DIFFERENT");
    return 0;
}
