#include "qnpack/ManifestChecks.h"

#include <gtest/gtest.h>

namespace {

TEST(ManifestChecks, ClassNamesAreWhatJavacAccepts) {
    const char* const accepted[] = {
        "Main",
        "app.Main",
        "a.b.c.D$Inner",
        "_x.$y",
        "app/Main",
        "\xC3\xBC"
        "ber.Kla\xC3\x9F"
        "e",
        "\xE6\x97\xA5\xE6\x9C\xAC.\xE3\x82\xAF\xE3\x83\xA9\xE3\x82\xB9",  // 日本.クラス
        "record.Main",
        "x1.y2",
    };
    for (const char* name : accepted) EXPECT_EQ(classNameProblem(name), "") << name;

    const std::pair<const char*, const char*> refused[] = {
        {"", "it is empty"},
        {"-version", "it starts with -, so java would read it as an option"},
        {"app..Main", "it has an empty name between separators"},
        {"app.Main.", "it has an empty name between separators"},
        {".Main", "it has an empty name between separators"},
        {"1app.Main", "1app is not a Java identifier"},
        {"app.Ma-in", "Ma-in is not a Java identifier"},
        {"a%00b", "a%00b is not a Java identifier"},
        {"app.Main;id", "Main;id is not a Java identifier"},
        {"if.Main", "if is a reserved word of Java"},
        {"app._", "_ is a reserved word of Java"},
        {"app.record", "record cannot name a class"},
        {"app.\xC3", "\xC3 is not valid UTF-8"},
        {"app.\xC0\xAE", "\xC0\xAE is not valid UTF-8"},  // an overlong "."
        {"app.M\x7F", "M\\x7F is not a Java identifier"},
        {"app.\xE2\x80\xA8x", "\xE2\x80\xA8x is not a Java identifier"},  // line separator
    };
    for (const auto& r : refused) {
        EXPECT_EQ(classNameProblem(r.first), r.second) << r.first;
    }
    EXPECT_EQ(classNameProblem(SString("app.Ma\0in", 9)), "Ma\\0in is not a Java identifier");
    EXPECT_EQ(dottedClassName("app/sub/Main"), "app.sub.Main");
}

TEST(ManifestChecks, OpensAndExportsArePairsAndNativeAccessIsModules) {
    EXPECT_EQ(modulePackagesProblem("java.base/java.lang"), "");
    EXPECT_EQ(modulePackagesProblem(" java.base/java.lang\tjdk.compiler/com.sun.tools.javac "), "");
    EXPECT_EQ(modulePackagesProblem(""), "it names no MODULE/PACKAGE pair");
    EXPECT_EQ(modulePackagesProblem("java.base"), "java.base is not MODULE/PACKAGE");
    EXPECT_EQ(modulePackagesProblem("java.base/java.lang/x"),
              "java.base/java.lang/x is not MODULE/PACKAGE: lang/x is not a Java identifier");
    EXPECT_EQ(modulePackagesProblem("java.base/"),
              "java.base/ is not MODULE/PACKAGE: it has an empty name between separators");
    EXPECT_EQ(modulePackagesProblem("java.base/java.lang=ALL"),
              "java.base/java.lang=ALL is not MODULE/PACKAGE: lang=ALL is not a Java identifier");

    EXPECT_EQ(moduleListProblem("ALL-UNNAMED"), "");
    EXPECT_EQ(moduleListProblem("ALL-UNNAMED,my.module other"), "");
    EXPECT_EQ(moduleList("ALL-UNNAMED, my.module"),
              (std::vector<SString>{"ALL-UNNAMED", "my.module"}));
    EXPECT_EQ(moduleListProblem(" "), "it names no module");
    EXPECT_EQ(moduleListProblem("ALL-UNNAMED=x"),
              "ALL-UNNAMED=x is neither ALL-UNNAMED nor a module name: ALL-UNNAMED=x is not a "
              "Java identifier");
}

TEST(ManifestChecks, ValuesAreShownOnOneLine) {
    EXPECT_EQ(shownValue(SString("a\nb\rc\td\0e\x1b"
                                 "f\x7F",
                                 12)),
              "a\\nb\\rc\\td\\0e\\x1Bf\\x7F");
    EXPECT_EQ(shownValue("\xC3\xBC plain"), "\xC3\xBC plain");
}

}  // namespace
