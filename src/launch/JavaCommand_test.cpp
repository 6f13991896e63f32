#include "launch/JavaCommand.h"

#include <gtest/gtest.h>

#include "support/TestKit.h"

namespace {

SString joined(const std::vector<SString>& words) {
    SString text;
    for (const SString& word : words) text += (text.empty() ? "" : " ") + word;
    return text;
}

std::vector<SString> wordsOf(const SString& text) {
    std::vector<SString> words;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(' ', start);
        if (end == SString::npos) end = text.size();
        words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

}  // namespace

TEST(JavaCommand, FindsTheClassPathAndTheOptionsThatShapeAnArchive) {
    testkit::ScopedEnv classPath("CLASSPATH", "/env/a.jar:/env/b.jar");
    struct Case {
        const char* command;
        const char* classPath;    // null: not readable
        const char* dumpOptions;  // or the problem
    };
    const Case cases[] = {
        {"java -cp /a.jar:/b.jar Main x", "/a.jar:/b.jar", ""},
        {"java -Xmx64m -XX:+UseSerialGC -Dk=v --add-opens java.base/java.lang=ALL-UNNAMED "
         "-classpath /a.jar app.Main -cp x",
         "/a.jar", "-Xmx64m -XX:+UseSerialGC -Dk=v --add-opens java.base/java.lang=ALL-UNNAMED"},
        // The last class path wins, as for the JVM.
        {"java -cp /a.jar --class-path /b.jar Main", "/b.jar", ""},
        {"java --class-path=/c.jar Main", "/c.jar", ""},
        {"java -Xss2m -jar /app.jar arg", "/app.jar", "-Xss2m"},
        // What runs code, prints or logs stays out of the dump.
        {"java -javaagent:/agent.jar -agentlib:jdwp=x -Xlog:gc -verbose:class -showversion "
         "-splash:/s.png -XshowSettings:all -Xshare:auto -Dx=1 -cp /a.jar Main",
         "/a.jar", "-Dx=1"},
        {"java Main", "/env/a.jar:/env/b.jar", ""},
        {"java @args Main", nullptr, "its options are read from an argument file"},
        {"java -m app/app.Main", nullptr, "it starts a module"},
        {"java --module=app/app.Main", nullptr, "it starts a module"},
        {"java -cp /a.jar", nullptr, "it names no main class"},
        {"java -jar", nullptr, "it names no main class"},
    };
    for (const Case& c : cases) {
        JavaCommand java;
        SString problem;
        const bool read = java.read(wordsOf(c.command), problem);
        ASSERT_EQ(read, c.classPath != nullptr) << c.command << ": " << problem;
        if (!read) {
            EXPECT_EQ(problem, c.dumpOptions) << c.command;
            continue;
        }
        EXPECT_EQ(java.joinedClassPath(), c.classPath) << c.command;
        EXPECT_EQ(joined(java.dumpOptions()), c.dumpOptions) << c.command;
        EXPECT_EQ(java.words, wordsOf(c.command));
    }
}

TEST(JavaCommand, EmptyEntriesOfTheClassPathStay) {
    JavaCommand java;
    SString problem;
    ASSERT_TRUE(java.read({"java", "-cp", "/a.jar::/b.jar:", "Main"}, problem));
    EXPECT_EQ(java.classPath, (std::vector<SString>{"/a.jar", "", "/b.jar", ""}));
}
