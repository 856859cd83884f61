#include "support/source_texts.h"

#include <cctype>
#include <cstring>

#include "support/test_support.h"

namespace vxtest
{

namespace
{

struct LoggingCall
{
    const char* pszName;
    size_t iArgument;  // the argument that holds the text
    SourceTextKind eKind;
};

const LoggingCall kCalls[] = {
    {"LOG_CONDITION_FAILED", 0, eTextCondition}, {"LogMessage", 1, eTextLogFormat}, {"LogError", 3, eTextLogFormat},
    {"TraceAuto", 0, eTextTraceFormat},          {"TraceFailure", 0, eTextTraceFormat}, {"Trace", 1, eTextTraceFormat},
};

// Index just after a string or character literal that starts at i.
size_t SkipLiteral(const std::string& s, size_t i)
{
    const char cQuote = s[i++];
    while (i < s.size() && s[i] != cQuote) i += s[i] == '\\' ? 2 : 1;
    return i + 1;
}

std::string WithoutComments(const std::string& s)
{
    std::string sCode;
    for (size_t i = 0; i < s.size();)
    {
        if (s[i] == '"' || s[i] == '\'')
        {
            const size_t iEnd = SkipLiteral(s, i);
            sCode.append(s, i, iEnd - i);
            i = iEnd;
        }
        else if (s.compare(i, 2, "//") == 0)
            i = s.find('\n', i) == std::string::npos ? s.size() : s.find('\n', i);
        else if (s.compare(i, 2, "/*") == 0)
            i = s.find("*/", i) == std::string::npos ? s.size() : s.find("*/", i) + 2;
        else
            sCode += s[i++];
    }
    return sCode;
}

// The top-level arguments of the call whose "(" is at iOpen.
std::vector<std::string> Arguments(const std::string& s, size_t iOpen)
{
    std::vector<std::string> arguments(1);
    int iDepth = 0;
    for (size_t i = iOpen; i < s.size();)
    {
        const char c = s[i];
        if (c == '"' || c == '\'')
        {
            const size_t iEnd = SkipLiteral(s, i);
            arguments.back().append(s, i, iEnd - i);
            i = iEnd;
            continue;
        }
        ++i;
        if (c == '(' && iDepth++ == 0) continue;
        if (c == ')' && --iDepth == 0) break;
        if (c == ',' && iDepth == 1)
        {
            arguments.push_back(std::string());
            continue;
        }
        arguments.back() += c;
    }
    return arguments;
}

char Unescaped(char c)
{
    switch (c)
    {
    case 'n': return '\n';
    case 't': return '\t';
    case 'r': return '\r';
    case '0': return '\0';
    default: return c;
    }
}

bool IsIdentifierCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

void AddCallTexts(const std::string& sCode, const LoggingCall& call, const std::string& sFile, std::vector<SourceText>* pTexts)
{
    const size_t cchName = std::strlen(call.pszName);
    for (size_t i = sCode.find(call.pszName); i != std::string::npos; i = sCode.find(call.pszName, i + 1))
    {
        if ((i > 0 && IsIdentifierCharacter(sCode[i - 1])) || IsIdentifierCharacter(sCode[i + cchName])) continue;
        size_t iOpen = i + cchName;
        while (iOpen < sCode.size() && std::isspace(static_cast<unsigned char>(sCode[iOpen]))) ++iOpen;
        if (iOpen >= sCode.size() || sCode[iOpen] != '(') continue;
        const std::vector<std::string> arguments = Arguments(sCode, iOpen);
        if (arguments.size() <= call.iArgument) continue;
        const std::vector<std::string> texts = StringLiterals(arguments[call.iArgument]);
        for (const std::string& sText : texts) pTexts->push_back(SourceText{call.eKind, sText, sFile});
        // "%s failed\n" with a literal: the line the trace shows.
        if (call.eKind == eTextTraceFormat && texts.size() == 1 && texts[0] == "%s failed\n" &&
            arguments.size() > call.iArgument + 1)
        {
            for (const std::string& sPart : StringLiterals(arguments[call.iArgument + 1]))
                pTexts->push_back(SourceText{call.eKind, sPart + " failed\n", sFile});
        }
    }
}

}  // namespace

std::vector<std::string> StringLiterals(const std::string& sCode)
{
    std::vector<std::string> texts;
    bool fInRun = false;
    for (size_t i = 0; i < sCode.size();)
    {
        if (sCode[i] == '"')
        {
            if (!fInRun) texts.push_back(std::string());
            fInRun = true;
            for (++i; i < sCode.size() && sCode[i] != '"'; ++i)
            {
                if (sCode[i] == '\\' && i + 1 < sCode.size()) texts.back() += Unescaped(sCode[++i]);
                else texts.back() += sCode[i];
            }
            ++i;
            continue;
        }
        if (sCode[i] == '\'')
        {
            i = SkipLiteral(sCode, i);
            fInRun = false;
            continue;
        }
        if (!std::isspace(static_cast<unsigned char>(sCode[i]))) fInRun = false;
        ++i;
    }
    return texts;
}

std::vector<SourceText> LoggedTexts(const std::string& sFolder)
{
    std::vector<SourceText> texts;
    std::vector<std::string> names = ListFiles(sFolder + "\\*.cpp");
    const std::vector<std::string> headers = ListFiles(sFolder + "\\*.h");
    names.insert(names.end(), headers.begin(), headers.end());
    for (const std::string& sName : names)
    {
        std::string sSource;
        if (!ReadFileBytes(sFolder + "\\" + sName, &sSource)) continue;
        const std::string sCode = WithoutComments(sSource);
        for (const LoggingCall& call : kCalls) AddCallTexts(sCode, call, sName, &texts);
    }
    return texts;
}

}  // namespace vxtest
