#include "support/hostile_text.h"

#include <algorithm>
#include <cctype>

#include "support/pdi_process.h"

namespace vxtest
{

namespace
{

const char* const kAutorunKeys[] = {"DIVISION", "LAST_IO_REVISION", "SilentInstall", "CDGuid", "InfrastructureDatabaseList",
                                    "LanguagesInthisCD", "DefaultLanguageInThisRelease", "1", "2", "0x0409", "Manufacturer",
                                    "RegistryManufacturer", "VER_OVA", "DriverVer", "Log", "[Version]", "[OSPatches]"};
const char* const kModelKeys[] = {"Quorvane Model 1234 Series", "DriverName", "asktomakedefaultprinter", "NumDevNodes",
                                  "Capabilities", "USB", "[Models]", "[Model1234]", "Dot4Support", "LastIORevision"};

}  // namespace

// Text of the system's double-byte code page: pairs of lead and trail bytes, among them trail
// bytes that read as a backslash, a bar or a letter, and now and then a lead byte left alone.
std::string DoubleByteText(Random& random, size_t cPairs)
{
    static const unsigned char kTrails[] = {0x5C, 0x7C, 0x40, 0x7E, 0x80, 0xFC, 0x41, 0x3D};
    std::string s;
    for (size_t i = 0; i < cPairs; ++i)
    {
        s += static_cast<char>(random.Chance(70) ? random.Byte(0x81, 0x9F) : random.Byte(0xE0, 0xFC));
        s += static_cast<char>(random.Chance(50) ? kTrails[random.Below(sizeof(kTrails))] : random.Byte(0x40, 0xFC));
    }
    if (random.Chance(20)) s += static_cast<char>(random.Byte(0x81, 0x9F));
    return s;
}

namespace
{

// Any byte a command line can carry: no NUL, and no line ends, which would split the log's
// command-line line.
char CommandLineByte(Random& random, unsigned char lo, unsigned char hi)
{
    for (;;)
    {
        const unsigned char c = random.Byte(lo, hi);
        if (c != 0 && c != '\r' && c != '\n') return static_cast<char>(c);
    }
}

}  // namespace

std::string HostileValue(Random& random, bool fDoubleByte)
{
    static const char* const kWords[] = {"Quorvane Model 1234 Series", "LPT1:", "USB001", "Model", "x", "0",
                                         "\\\\server\\printer", "C:\\", "..\\..\\", "%s%s%n", "\"quoted value\""};
    switch (random.Below(10))
    {
    case 0: return std::string();
    case 1:
    case 2: return kWords[random.Below(sizeof(kWords) / sizeof(kWords[0]))];
    case 3: return std::string(300 + random.Below(30000), static_cast<char>(random.Byte('A', 'z')));
    case 4:
    {
        std::string s;
        for (unsigned i = 1 + random.Below(60); i > 0; --i) s += CommandLineByte(random, 0x80, 0xFF);
        return s;
    }
    case 5: return fDoubleByte ? DoubleByteText(random, 1 + random.Below(40)) : std::string(1 + random.Below(8), '"');
    case 6: return std::string(1 + random.Below(5), ' ') + kWords[random.Below(4)] + std::string(random.Below(5), ' ');
    case 7: return "-=" + std::string(random.Below(4), '=') + "-";
    case 8:
    {
        std::string s;
        for (unsigned i = 1 + random.Below(40); i > 0; --i) s += CommandLineByte(random, 1, 0xFF);
        return s;
    }
    default: return std::string(random.Below(3), '\t') + kWords[random.Below(sizeof(kWords) / sizeof(kWords[0]))];
    }
}

namespace
{

// A section's lines, from its header to the next header.
std::vector<std::string> SplitLines(const std::string& sText)
{
    std::vector<std::string> lines;
    size_t iStart = 0;
    while (iStart <= sText.size())
    {
        size_t iEnd = sText.find('\n', iStart);
        if (iEnd == std::string::npos)
        {
            if (iStart < sText.size()) lines.push_back(sText.substr(iStart));
            break;
        }
        lines.push_back(sText.substr(iStart, iEnd + 1 - iStart));
        iStart = iEnd + 1;
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string s;
    for (const std::string& sLine : lines) s += sLine;
    return s;
}

}  // namespace

std::string RandomBytes(Random& random, size_t cb)
{
    std::string s;
    for (size_t i = 0; i < cb; ++i) s += static_cast<char>(random.Byte(0, 255));
    return s;
}

// A hand-authored file gone wrong: one to three of the ways such files break.
std::string MutatedFile(Random& random, const std::string& sOriginal, const char* const* ppszKeys, size_t cKeys)
{
    std::string s = sOriginal;
    for (unsigned nChanges = 1 + random.Below(3); nChanges > 0; --nChanges)
    {
        std::vector<std::string> lines = SplitLines(s);
        const size_t iLine = lines.empty() ? 0 : random.Below(static_cast<uint32_t>(lines.size()));
        const std::string sKey = ppszKeys[random.Below(static_cast<uint32_t>(cKeys))];
        switch (random.Below(14))
        {
        case 0: s.erase(random.Below(static_cast<uint32_t>(s.size() + 1))); break;  // truncated
        case 1:
            for (unsigned n = 1 + random.Below(20); n > 0 && !s.empty(); --n) s[random.Below(static_cast<uint32_t>(s.size()))] = static_cast<char>(random.Byte(0, 255));
            break;
        case 2: s.insert(random.Below(static_cast<uint32_t>(s.size() + 1)), RandomBytes(random, 1 + random.Below(4096))); break;
        case 3: s = RandomBytes(random, random.Below(65536)); break;  // not text at all
        case 4:  // an enormous line, as a key's value or on its own
            if (!lines.empty())
                lines.insert(lines.begin() + static_cast<long>(iLine),
                             (random.Chance(50) ? sKey + "=" : std::string()) + std::string(1000 + random.Below(300000), static_cast<char>(random.Byte('0', 'z'))) + "\r\n");
            s = JoinLines(lines);
            break;
        case 5:  // a section gone: its header and lines up to the next header
        {
            size_t iHeader = iLine;
            while (iHeader < lines.size() && (lines[iHeader].empty() || lines[iHeader][0] != '[')) ++iHeader;
            size_t iEnd = iHeader + 1;
            while (iEnd < lines.size() && (lines[iEnd].empty() || lines[iEnd][0] != '[')) ++iEnd;
            if (iHeader < lines.size()) lines.erase(lines.begin() + static_cast<long>(iHeader), lines.begin() + static_cast<long>(std::min(iEnd, lines.size())));
            s = JoinLines(lines);
            break;
        }
        case 6:  // duplicate keys and sections
            if (!lines.empty()) lines.insert(lines.begin() + static_cast<long>(iLine), lines[random.Below(static_cast<uint32_t>(lines.size()))]);
            lines.insert(lines.begin() + static_cast<long>(random.Below(static_cast<uint32_t>(lines.size() + 1))), sKey + "=" + HostileValue(random, false) + "\r\n");
            s = JoinLines(lines);
            break;
        case 7:  // values at and around their buffers' sizes
        {
            static const size_t kLengths[] = {3, 4, 5, 6, 31, 32, 33, 255, 259, 260, 261, 1023, 1024, 1025, 4096, 70000};
            lines.insert(lines.begin() + static_cast<long>(random.Below(static_cast<uint32_t>(lines.size() + 1))),
                         sKey + "=" + std::string(kLengths[random.Below(sizeof(kLengths) / sizeof(kLengths[0]))], static_cast<char>(random.Byte('0', '9'))) + "\r\n");
            s = JoinLines(lines);
            break;
        }
        case 8:  // numbers that are not
        {
            static const char* const kOdd[] = {"-1", "99999", "0x10", "abc", "", " 7", "4294967296", "%d%s", "\xff\xfe", "1e9"};
            lines.insert(lines.begin() + static_cast<long>(random.Below(static_cast<uint32_t>(lines.size() + 1))),
                         sKey + "=" + kOdd[random.Below(sizeof(kOdd) / sizeof(kOdd[0]))] + "\r\n");
            s = JoinLines(lines);
            break;
        }
        case 9:  // other line ends
        {
            std::string sOut;
            const char* pszEnd = random.Chance(50) ? "\r" : "\n";
            for (char c : s)
            {
                if (c == '\n') sOut += pszEnd;
                else if (c != '\r') sOut += c;
            }
            s = sOut;
            break;
        }
        case 10:  // wide text, as an editor may save it
        {
            std::string sWide = "\xff\xfe";
            for (char c : s)
            {
                sWide += c;
                sWide += '\0';
            }
            s = sWide;
            break;
        }
        case 11:  // many sections and keys
        {
            std::string sMore;
            for (unsigned i = random.Below(3000); i > 0; --i) sMore += "[S" + std::to_string(i) + "]\r\n" + sKey + "=" + std::to_string(i) + "\r\n";
            s += sMore;
            break;
        }
        case 12:  // lines cut and swapped
            if (lines.size() > 2)
            {
                for (unsigned n = random.Below(10); n > 0; --n) std::swap(lines[random.Below(static_cast<uint32_t>(lines.size()))], lines[random.Below(static_cast<uint32_t>(lines.size()))]);
            }
            s = JoinLines(lines);
            break;
        default: s.clear(); break;  // empty
        }
    }
    return s;
}

std::string MutatedAutorun(Random& random, const std::string& sOriginal)
{
    return MutatedFile(random, sOriginal, kAutorunKeys, sizeof(kAutorunKeys) / sizeof(kAutorunKeys[0]));
}

std::string MutatedModels(Random& random, const std::string& sOriginal)
{
    return MutatedFile(random, sOriginal, kModelKeys, sizeof(kModelKeys) / sizeof(kModelKeys[0]));
}

// A fuzz file: junk lines over a small alphabet (no digits) around planted blocks
// "[p<n>]" / "pk<n>=pv<n>" that must read back whatever the junk does.
std::string FuzzProfileText(std::mt19937& random, std::vector<int>* pPlanted)
{
    static const char kAlphabet[] = " \t[]=;\"#abcABCxyz\r";
    std::string s;
    const int cLines = static_cast<int>(random() % 40);
    for (int nLine = 0; nLine < cLines; ++nLine)
    {
        if (random() % 5 == 0)
        {
            const int n = static_cast<int>(random() % 1000);
            s += "[p" + std::to_string(n) + "]\npk" + std::to_string(n) + "=pv" + std::to_string(n) + "\n";
            pPlanted->push_back(n);
            continue;
        }
        const unsigned uKind = random() % 100;
        const size_t cch = uKind < 90 ? random() % 30 : (uKind < 98 ? 900 + random() % 200 : 2000 + random() % 1000);
        for (size_t i = 0; i < cch; ++i) s += kAlphabet[random() % (sizeof(kAlphabet) - 1)];
        s += (random() % 2) ? "\n" : "\r\n";
    }
    return s;
}

}  // namespace vxtest
