// Icons and banner pictures: what is kept, under which name, and how long names are cut.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "StubHttpServer.h"
#include "client/requests/ImageFetch.h"
#include "client/requests/RequestText.h"
#include "support/TestSupport.h"

namespace {

using orvtest::StubHttpServer;
using orvtest::TempDir;

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + "rest of a png";
const std::string kBmp = std::string("BM\0\0\0\0\0\0\0\0\0\0\0\0\x28\0\0\0", 18) + "pixels";

std::string Raw(const std::string& status, const std::string& headers, const std::string& body) {
  return "HTTP/1.0 " + status + "\r\n" + headers + "Connection: close\r\n\r\n" + body;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ImageFormatTest, OnlyTheFourImageFormatsAreRecognised) {
  const struct {
    std::string bytes;
    ImageFormat format;
  } cases[] = {
      {kPng, ImageFormat::Png},
      {"\xFF\xD8\xFF\xE0jfif", ImageFormat::Jpeg},
      {"GIF89a....", ImageFormat::Gif},
      {"GIF87a....", ImageFormat::Gif},
      {kBmp, ImageFormat::Bmp},
      {"BM is how this text begins, not a bitmap", ImageFormat::None},
      {"<html><body>404</body></html>", ImageFormat::None},
      {std::string("\x89PNG", 4), ImageFormat::None},  // cut short
      {"", ImageFormat::None},
  };
  for (const auto& c : cases) EXPECT_EQ(SniffImageFormat(c.bytes), c.format) << c.bytes;
}

TEST(ImageFormatTest, CacheNameFollowsTheWholeUrlAndKeepsAPlainExtension) {
  const std::string a = ImageCacheName("http://h/icons/1/icon.PNG");
  EXPECT_EQ(a.size(), 16u + 4u);
  EXPECT_EQ(a.substr(16), ".png");
  EXPECT_EQ(a, ImageCacheName("http://h/icons/1/icon.PNG"));
  // Another catalogue's icon of the same file name is another file.
  EXPECT_NE(a, ImageCacheName("http://other/icons/1/icon.PNG"));
  EXPECT_EQ(ImageCacheName("http://h/i.php?id=3&fmt=png").size(), 16u);  // no usable extension
  EXPECT_EQ(ImageCacheName("http://h/dir.v2/icon").size(), 16u);
  EXPECT_EQ(ImageCacheName("http://h/x." + std::string(40, 'a')).size(), 16u);
}

TEST(ImageFormatTest, LongFileNamePartsAreCutWithAHashOfTheWholeName) {
  EXPECT_EQ(orvreq::FileNamePart("财务助手1.0.3"), "财务助手1.0.3");  // short names unchanged
  const std::string longA = std::string(300, 'a') + "A";
  const std::string longB = std::string(300, 'a') + "B";
  const std::string a = orvreq::FileNamePart(longA);
  EXPECT_LE(a.size(), orvreq::kMaxFileNamePart);
  EXPECT_NE(a, orvreq::FileNamePart(longB));
  EXPECT_EQ(a, orvreq::FileNamePart(longA));
  // A name of three-byte characters is never cut inside one.
  std::string chinese;
  for (int i = 0; i < 200; ++i) chinese += "财";
  const std::string cut = orvreq::FileNamePart(chinese);
  EXPECT_LE(cut.size(), orvreq::kMaxFileNamePart);
  const std::string kept = cut.substr(0, cut.find('~'));
  EXPECT_EQ(kept.size() % 3, 0u);
  EXPECT_EQ(chinese.compare(0, kept.size(), kept), 0);
}

class ImageFetchTest : public ::testing::Test {
 protected:
  std::string Url(const std::string& path) const { return "http://" + m_server.HostPort() + path; }
  std::string Target() const { return m_dir.Path() + "/HotApp/icon.png"; }

  StubHttpServer m_server;
  TempDir m_dir;
  std::atomic<bool> m_never{false};
};

TEST_F(ImageFetchTest, KeepsOnlyImagesWithinTheCapAndLeavesNothingElse) {
  const std::string overCap(ImageByteCap(ImageKind::Icon) + 1, 'x');
  const std::string pngOverCap = kPng + overCap;
  const struct {
    const char* name;
    std::string answer;
    ImageKind kind;
    RequestStatus status;
  } cases[] = {
      {"png", kPng, ImageKind::Icon, RequestStatus::Ok},
      {"bmp", kBmp, ImageKind::Icon, RequestStatus::Ok},
      {"html page with status 200", "<html>maintenance</html>", ImageKind::Icon,
       RequestStatus::Unusable},
      {"announced over the cap",
       Raw("200 OK", "Content-Length: " + std::to_string(pngOverCap.size()) + "\r\n", pngOverCap),
       ImageKind::Icon, RequestStatus::Unusable},
      {"unannounced over the cap", Raw("200 OK", "", pngOverCap), ImageKind::Icon,
       RequestStatus::Unusable},
      {"a banner may be larger", Raw("200 OK", "", pngOverCap), ImageKind::Banner,
       RequestStatus::Ok},
      {"image with an error status", Raw("500 Oops", "", kPng), ImageKind::Icon,
       RequestStatus::NoAnswer},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(m_dir.Path() + "/HotApp");
    m_server.SetAnswer("/img", c.answer);
    const RequestResult result = FetchImageFile(Url("/img"), Target(), c.kind, m_never);
    EXPECT_EQ(result.status, c.status) << result.reason;
    EXPECT_EQ(std::filesystem::exists(Target()), c.status == RequestStatus::Ok);
    EXPECT_FALSE(std::filesystem::exists(Target() + ".part"));
  }
}

TEST_F(ImageFetchTest, AFailedFetchKeepsTheImageAlreadyThere) {
  m_server.SetAnswer("/img", kPng);
  ASSERT_TRUE(FetchImageFile(Url("/img"), Target(), ImageKind::Banner, m_never));
  m_server.SetAnswer("/img", "<html>gone</html>");
  EXPECT_FALSE(FetchImageFile(Url("/img"), Target(), ImageKind::Banner, m_never));
  EXPECT_EQ(ReadAll(Target()), kPng);
}

TEST_F(ImageFetchTest, FetcherFetchesATargetOnceAndReportsWhatArrived) {
  m_server.SetAnswer("/good", kPng);
  m_server.SetAnswer("/bad", "<html></html>");
  orvtest::SilentServer silent;
  std::mutex mutex;
  std::vector<std::string> arrived;
  {
    ImageFetcher fetcher(
        [&](const std::string& url) {
          std::lock_guard lock(mutex);
          arrived.push_back(url);
        },
        2);
    ProcessImageFetcherScope scope(fetcher);
    // While a target is in flight it is not asked for again (a silent server holds it).
    const std::string held = m_dir.Path() + "/HotApp/held.png";
    EXPECT_TRUE(StartProcessImageFetch(silent.Url() + "held.png", held, ImageKind::Icon));
    ASSERT_TRUE(orvtest::WaitUntil([&] { return silent.Accepted() == 1; }));
    EXPECT_FALSE(StartProcessImageFetch(Url("/good"), held, ImageKind::Icon));
    EXPECT_TRUE(StartProcessImageFetch(Url("/good"), Target(), ImageKind::Icon));
    EXPECT_TRUE(
        StartProcessImageFetch(Url("/bad"), m_dir.Path() + "/HotApp/bad.png", ImageKind::Icon));
    ASSERT_TRUE(orvtest::WaitUntil([&] { return m_server.Targets().size() == 2; }));
    ASSERT_TRUE(orvtest::WaitUntil([&] {
      std::lock_guard lock(mutex);
      return !arrived.empty();
    }));
    // The fetch held by the silent server ends with the fetcher.
  }
  EXPECT_FALSE(StartProcessImageFetch(Url("/good"), Target(), ImageKind::Icon));  // none left
  EXPECT_EQ(arrived, std::vector<std::string>{Url("/good")});
  EXPECT_FALSE(std::filesystem::exists(m_dir.Path() + "/HotApp/bad.png"));
}

}  // namespace
