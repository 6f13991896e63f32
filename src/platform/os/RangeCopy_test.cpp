// The range copy: the bytes that arrive, the chunks the progress hears of, a source that
// ends early, sources and targets the kernel does not copy between, failures on either
// side, and a pending interruption signal that ends a long copy.

#include "platform/os/RangeCopy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "base/LauncherException.h"
#include "inputfiles/BundleWriter.h"
#include "platform/PlatformImpl.h"
#include "platform/os/ProcessControl.h"
#include "support/TestKit.h"

namespace {

class RangeCopyTest : public ::testing::Test {
protected:
    // Copies from a source file holding `content` into a new target; the target's bytes
    // afterwards go into `copiedBytes`, the number of progress calls into `chunks`.
    RangeCopyResult copy(const SString& content, RangeCopy how) {
        testkit::writeFile(dir.file("source"), content);
        UniqueFd source = PlatformImpl::openForReading(dir.file("source"));
        UniqueFd target = PlatformImpl::openForWriting(dir.file("target"));
        EXPECT_TRUE(source && target);
        chunks = 0;
        how.onChunk = [this] { ++chunks; };
        RangeCopyResult result = copyRange(source.get(), target.get(), how);
        target.close();
        copiedBytes = testkit::readFile(dir.file("target"));
        return result;
    }

    testkit::ScopedTempDir dir;
    int chunks = 0;
    SString copiedBytes;
};

TEST_F(RangeCopyTest, ProgressHearsOfEveryChunkWhateverTheStepSize) {
    struct Case {
        size_t size;
        long long offset, length;
        size_t chunkSize, chunksPerStep;
        int chunks;
    };
    const Case cases[] = {
        {0, 0, 0, 4, 1, 0},     // nothing wanted: no step at all
        {10, 0, 10, 4, 1, 3},   // 4 + 4 + 2
        {10, 0, 10, 4, 2, 3},   // a step of 8, then one of 2
        {10, 0, 10, 4, 64, 3},  // one step carries all three chunks
        {10, 3, 5, 4, 1, 2},    // from the middle: 4 + 1
        {12, 0, 12, 4, 3, 3},   // whole chunks only
        {200000, 0, 200000, 61439, 64, 4},
        {200000, 1000, 199000, 61439, 4096, 4},
    };
    for (const Case& c : cases) {
        RangeCopy how;
        how.offset = c.offset;
        how.length = c.length;
        how.chunkSize = c.chunkSize;
        how.chunksPerStep = c.chunksPerStep;
        const SString content = testkit::patternBytes(c.size);
        RangeCopyResult result = copy(content, how);
        const SString expected =
            content.substr(static_cast<size_t>(c.offset), static_cast<size_t>(c.length));
        EXPECT_EQ(result.copied, c.length) << c.size << " " << c.chunksPerStep;
        EXPECT_FALSE(result.failed());
        EXPECT_EQ(copiedBytes, expected) << c.size << " " << c.chunksPerStep;
        EXPECT_EQ(chunks, c.chunks) << c.size << " " << c.chunksPerStep;
    }
}

TEST_F(RangeCopyTest, ASourceThatEndsEarlyEndsTheCopyAndItsStepCountsOnce) {
    RangeCopy how;
    how.chunkSize = 4;
    // 6 of 100 wanted bytes are there: one step, two chunks of it carried.
    how.offset = 4;
    how.length = 100;
    how.chunksPerStep = 8;
    RangeCopyResult result = copy(testkit::patternBytes(10), how);
    EXPECT_EQ(result.copied, 6);
    EXPECT_FALSE(result.failed());
    EXPECT_EQ(copiedBytes, testkit::patternBytes(10).substr(4));
    EXPECT_EQ(chunks, 2);

    // The end falls on a step boundary: the next step finds nothing and still counts.
    how.offset = 0;
    how.chunksPerStep = 2;
    result = copy(testkit::patternBytes(8), how);
    EXPECT_EQ(result.copied, 8);
    EXPECT_EQ(chunks, 3);

    // Everything to the end of the source, which the last step finds.
    how.length = -1;
    result = copy(testkit::patternBytes(10), how);
    EXPECT_EQ(result.copied, 10);
    EXPECT_EQ(copiedBytes, testkit::patternBytes(10));
    EXPECT_EQ(chunks, 3);
}

TEST_F(RangeCopyTest, CopiesThroughTheBufferWhereTheKernelDoesNot) {
    const SString content = testkit::patternBytes(300000);
    testkit::writeFile(dir.file("source"), content);
    UniqueFd source = PlatformImpl::openForReading(dir.file("source"));
    // The kernel does not copy to a file opened for appending.
    UniqueFd target(open(dir.file("target").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600));
    RangeCopy how;
    how.offset = 100;
    how.length = 250000;
    how.chunkSize = 4096;
    RangeCopyResult result = copyRange(source.get(), target.get(), how);
    EXPECT_EQ(result.copied, 250000);
    EXPECT_EQ(testkit::readFile(dir.file("target")), content.substr(100, 250000));

    // Nor from a pipe, which is read from where it stands, nor into one: the writes go on
    // until the slow reader has every byte.
    int in[2], out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    UniqueFd inRead(in[0]), inWrite(in[1]), outRead(out[0]), outWrite(out[1]);
    std::thread writer([&] {
        ASSERT_TRUE(writeFully(inWrite.get(), content.data(), content.size()));
        inWrite.close();
    });
    SString received;
    std::thread reader([&] {
        char piece[1000];
        ssize_t n;
        while ((n = read(outRead.get(), piece, sizeof piece)) > 0) received.append(piece, n);
    });
    result = copyRange(inRead.get(), outWrite.get(), RangeCopy());
    outWrite.close();
    writer.join();
    reader.join();
    EXPECT_EQ(result.copied, 300000);
    EXPECT_FALSE(result.failed());
    EXPECT_EQ(received, content);
}

TEST_F(RangeCopyTest, AFailedReadOrWriteIsNamedWithItsSide) {
    testkit::writeFile(dir.file("source"), testkit::patternBytes(5000));
    UniqueFd source = PlatformImpl::openForReading(dir.file("source"));
    testkit::writeFile(dir.file("readonly"), "");
    UniqueFd readOnly = PlatformImpl::openForReading(dir.file("readonly"));
    RangeCopyResult result = copyRange(source.get(), readOnly.get(), RangeCopy());
    EXPECT_EQ(result.writeError, EBADF);
    EXPECT_EQ(result.readError, 0);
    EXPECT_EQ(result.copied, 0);

    UniqueFd directory(open(dir.path().c_str(), O_RDONLY | O_DIRECTORY));
    UniqueFd target = PlatformImpl::openForWriting(dir.file("target"));
    result = copyRange(directory.get(), target.get(), RangeCopy());
    EXPECT_EQ(result.readError, EISDIR);
    EXPECT_EQ(result.writeError, 0);

    // A target below a regular file cannot be made, and the bundle writer says so.
    EXPECT_FALSE(PlatformImpl::openForWriting(dir.file("source/target")));
    EXPECT_EQ(errno, ENOTDIR);
    try {
        BundleWriter::write(dir.file("source"), {}, dir.file("source/bundle"));
        ADD_FAILURE() << "no failure";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), dir.file("source/bundle") + ": cannot create: Not a directory");
    }
}

TEST_F(RangeCopyTest, APendingInterruptionEndsALongCopy) {
    testkit::SavedSignalHandlers handlers;
    installSignalHandlers();
    RangeCopy how;
    how.offset = 0;
    how.length = 1 << 20;
    how.chunkSize = 4096;
    // The signal arrives while the first chunk is reported.
    int reported = 0;
    testkit::writeFile(dir.file("source"), testkit::patternBytes(1 << 20));
    UniqueFd source = PlatformImpl::openForReading(dir.file("source"));
    UniqueFd target = PlatformImpl::openForWriting(dir.file("target"));
    how.onChunk = [&] {
        if (++reported == 1) raise(SIGTERM);
    };
    EXPECT_THROW(copyRange(source.get(), target.get(), how), TerminationRequest);
    EXPECT_EQ(reported, 1);
    EXPECT_EQ(testkit::readFile(dir.file("target")).size(), 4096u);

    // Pending before the copy begins: nothing is copied.
    UniqueFd empty = PlatformImpl::openForWriting(dir.file("empty"));
    how.onChunk = nullptr;
    EXPECT_THROW(copyRange(source.get(), empty.get(), how), TerminationRequest);
    EXPECT_EQ(testkit::readFile(dir.file("empty")), "");
    resetSignalState();
}

}  // namespace
