#include "script/Placeholders.h"

#include <gtest/gtest.h>

namespace {

const ScriptVariables kVariables{{QStringLiteral("host"), QStringLiteral("127.0.1.2")},
                                 {QStringLiteral("_p-2"), QStringLiteral("8080")},
                                 {QStringLiteral("self"), QStringLiteral("{{host}}")},
                                 {QStringLiteral("multi"), QStringLiteral("a\r\nb\nc")},
                                 {QStringLiteral("empty"), QString()}};

struct PlaceholderCase {
    const char* szLine;
    const char* szResult;
    const char* szMissing;  // the names without a value, comma-separated
};

const PlaceholderCase kCases[] = {
    {"http://{{host}}:{{_p-2}}/a?x={{host}}", "http://127.0.1.2:8080/a?x=127.0.1.2", ""},
    {"no placeholder at all", "no placeholder at all", ""},
    {"lone {{ and }} braces", "lone {{ and }} braces", ""},
    {"{{ }} {{}} {{1x}} {{a b}} {{-a}} {{a.b}}", "{{ }} {{}} {{1x}} {{a b}} {{-a}} {{a.b}}", ""},
    {"{{{host}}}", "{127.0.1.2}", ""},
    {"{{host}}{{host}}", "127.0.1.2127.0.1.2", ""},
    {"once {{self}}", "once {{host}}", ""},             // a value is not read again
    {"{{multi}}", "a b c", ""},                          // a line stays one line
    {"[{{empty}}]", "[]", ""},
    {"{{Host}} {{cam}} {{cam}} {{host}}", "{{Host}} {{cam}} {{cam}} 127.0.1.2", "Host,cam"},
    {"{{host", "{{host", ""},
};

TEST(Placeholders, LinesAsSubstituted)
{
    for (const PlaceholderCase& c : kCases) {
        QStringList missing;
        EXPECT_EQ(SubstituteLine(QString::fromUtf8(c.szLine), kVariables, &missing), QString::fromUtf8(c.szResult))
            << c.szLine;
        EXPECT_EQ(missing.join(QLatin1Char(',')), QString::fromUtf8(c.szMissing)) << c.szLine;
    }
}

TEST(Placeholders, ScriptNamesEachMissingValueAndItsLine)
{
    const SSubstitutedScript plain =
        SubstituteScript({QStringLiteral("http://a/{{ x }}"), QStringLiteral("Sleep(5)")}, kVariables);
    EXPECT_FALSE(plain.bHadPlaceholders);
    EXPECT_TRUE(plain.errors.isEmpty());

    const SSubstitutedScript script = SubstituteScript(
        {QStringLiteral("http://{{host}}/"), QString(), QStringLiteral("http://{{cam}}:{{port}}/{{host}}")},
        kVariables);
    EXPECT_TRUE(script.bHadPlaceholders);
    EXPECT_EQ(script.lines, (QStringList{QStringLiteral("http://127.0.1.2/"), QString(),
                                         QStringLiteral("http://{{cam}}:{{port}}/127.0.1.2")}));
    EXPECT_EQ(script.errors,
              (QStringList{
                  QStringLiteral("<Syntax error> No value for the placeholder {{cam}} in line 3: "
                                 "http://{{cam}}:{{port}}/{{host}}"),
                  QStringLiteral("<Syntax error> No value for the placeholder {{port}} in line 3: "
                                 "http://{{cam}}:{{port}}/{{host}}")}));
}

}  // namespace
