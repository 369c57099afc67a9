// quorvex-webclient-install run for real against a scratch home and a scratch
// system root: the manifests browsers read, where IDs come from, and that it
// never loses a file it did not write.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <json-c/json.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/HostProcess.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::UnorderedElementsAre;

namespace {

constexpr char kManifest[] = "com.quorvex.webclient.json";
constexpr char kChromeId[] = "abcdefghijklmnopabcdefghijklmnop";
constexpr char kOtherChromeId[] = "ponmlkjihgfedcbaponmlkjihgfedcba";
constexpr char kFirefoxId[] = "webclient@quorvex.example";

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

struct JsonDeleter {
  void operator()(json_object* object) const { json_object_put(object); }
};
using Json = std::unique_ptr<json_object, JsonDeleter>;

std::vector<std::string> Strings(json_object* array) {
  std::vector<std::string> items;
  if (!json_object_is_type(array, json_type_array))
    return items;
  for (size_t i = 0; i < json_object_array_length(array); ++i)
    items.emplace_back(json_object_get_string(json_object_array_get_idx(array, i)));
  return items;
}

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "qx-install-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    mScratch = pattern;
    mHome = mScratch / "home";
    mConfig = mHome / "config";
    mRoot = mScratch / "root";
    mHost = mScratch / "bin" / "quorvex-webclient-host";
    Write(mHost, "#!/bin/sh\n");
    fs::permissions(mHost, fs::perms::owner_all);
    fs::create_directories(mHome);
  }
  void TearDown() override { fs::remove_all(mScratch); }

  struct Run {
    int status;
    std::string output;  // stdout and stderr together, in order
  };
  Run Install(std::vector<std::string> options,
              const std::map<std::string, std::string>& environment = {}) {
    std::vector<std::string> argv{"/bin/sh",          "-c",          "exec \"$0\" \"$@\" 2>&1",
                                  QX_INSTALL_COMMAND, "--host",      mHost.string(),
                                  "--root",           mRoot.string()};
    argv.insert(argv.end(), options.begin(), options.end());
    std::map<std::string, std::string> env{{"HOME", mHome.string()},
                                           {"XDG_CONFIG_HOME", mConfig.string()},
                                           {"XDG_DATA_HOME", (mHome / "data").string()}};
    for (const auto& [name, value] : environment)
      env[name] = value;
    ChildResult result = RunChild(argv, env, 30000);
    return {result.exitCode, result.output};
  }

  // The manifest at `path`, checked to hold exactly the fields browsers read
  // and to start `program`.
  Json Manifest(const fs::path& path, const char* allowedKey, const fs::path& program) {
    Json manifest(json_tokener_parse(ReadWhole(path).c_str()));
    EXPECT_TRUE(json_object_is_type(manifest.get(), json_type_object)) << path;
    if (!json_object_is_type(manifest.get(), json_type_object))
      return manifest;
    std::vector<std::string> keys;
    json_object_object_foreach(manifest.get(), key, value) {
      (void)value;
      keys.emplace_back(key);
    }
    EXPECT_THAT(keys, UnorderedElementsAre("name", "description", "path", "type", allowedKey));
    EXPECT_STREQ(json_object_get_string(json_object_object_get(manifest.get(), "name")),
                 "com.quorvex.webclient");
    EXPECT_STREQ(json_object_get_string(json_object_object_get(manifest.get(), "type")), "stdio");
    EXPECT_EQ(json_object_get_string(json_object_object_get(manifest.get(), "path")),
              program.string());
    EXPECT_GT(json_object_get_string_len(json_object_object_get(manifest.get(), "description")), 0);
    return manifest;
  }
  std::set<std::string> Tree() const {
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(mScratch))
      paths.insert(entry.path().string());
    return paths;
  }
  std::vector<std::string> Allowed(const fs::path& path, const char* allowedKey) {
    Json manifest = Manifest(path, allowedKey, mHost);
    return Strings(json_object_object_get(manifest.get(), allowedKey));
  }

  fs::path mScratch, mHome, mConfig, mRoot, mHost;
};

TEST_F(InstallTest, UserManifestsTakeIdsFromTheConfigFileOrFromTheOptions) {
  Write(mConfig / "quorvex-webclient" / "extensions.conf",
        std::string("# IDs of the extension\n\nchrome-extension-id = ") + kChromeId +
            "  # store build\nchrome-extension-id=" + kOtherChromeId + "\nchrome-extension-id = " +
            kChromeId + "\n  firefox-extension-id = " + kFirefoxId + "\n");
  const fs::path chromium = mConfig / "chromium" / "NativeMessagingHosts" / kManifest;
  const fs::path brave =
      mConfig / "BraveSoftware" / "Brave-Browser" / "NativeMessagingHosts" / kManifest;
  const fs::path firefox = mHome / ".mozilla" / "native-messaging-hosts" / kManifest;

  Run run =
      Install({"--user", "--browser", "chromium", "--browser", "brave", "--browser", "firefox"});
  ASSERT_EQ(run.status, 0) << run.output;
  for (const fs::path& written : {chromium, brave, firefox})
    EXPECT_THAT(run.output, HasSubstr(written.string())) << "each file is named";
  const std::vector<std::string> bothOrigins{
      std::string("chrome-extension://") + kChromeId + "/",
      std::string("chrome-extension://") + kOtherChromeId + "/"};
  EXPECT_EQ(Allowed(chromium, "allowed_origins"), bothOrigins);
  EXPECT_EQ(Allowed(brave, "allowed_origins"), bothOrigins);
  EXPECT_THAT(Allowed(firefox, "allowed_extensions"), ElementsAre(kFirefoxId));
  EXPECT_EQ(fs::status(chromium).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);

  // Options replace the configured IDs of their family; a rerun replaces
  // what the first run wrote without asking for --force.
  run = Install({"--user", "--browser", "chromium", "--browser", "firefox", "--chrome-extension-id",
                 kOtherChromeId});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(Allowed(chromium, "allowed_origins"),
              ElementsAre(std::string("chrome-extension://") + kOtherChromeId + "/"));
  EXPECT_THAT(Allowed(firefox, "allowed_extensions"), ElementsAre(kFirefoxId));
}

TEST_F(InstallTest, SystemManifestsGoUnderTheRootAndFamiliesWithoutIdsAreSkipped) {
  Write(mRoot / "etc" / "quorvex-webclient" / "extensions.conf",
        std::string("chrome-extension-id = ") + kChromeId + "\n");
  // A user's configuration is no business of a system-wide install.
  Write(mConfig / "quorvex-webclient" / "extensions.conf",
        std::string("firefox-extension-id = ") + kFirefoxId + "\n");
  const std::vector<std::string> chromiumFamily{
      "etc/opt/chrome/native-messaging-hosts", "etc/chromium/native-messaging-hosts",
      "etc/opt/brave/native-messaging-hosts", "etc/opt/edge/native-messaging-hosts",
      "etc/opt/vivaldi/native-messaging-hosts"};
  const fs::path firefox = mRoot / "usr/lib/mozilla/native-messaging-hosts" / kManifest;

  Run run = Install({"--system", "--browser", "chrome", "--browser", "chromium", "--browser",
                     "brave", "--browser", "edge", "--browser", "vivaldi", "--browser", "firefox"});
  ASSERT_EQ(run.status, 0) << run.output;
  for (const auto& folder : chromiumFamily) {
    EXPECT_THAT(Allowed(mRoot / folder / kManifest, "allowed_origins"),
                ElementsAre(std::string("chrome-extension://") + kChromeId + "/"))
        << folder;
  }
  EXPECT_FALSE(fs::exists(firefox));
  EXPECT_THAT(run.output, HasSubstr("skipped firefox"));
  EXPECT_THAT(run.output, HasSubstr("--firefox-extension-id"));
  EXPECT_TRUE(fs::exists(mRoot / "var/lib/quorvex-webclient/installed"));

  // Nothing at all to register is a failure, and writes nothing.
  run = Install({"--system", "--browser", "firefox"});
  EXPECT_NE(run.status, 0);
  EXPECT_FALSE(fs::exists(firefox));
}

TEST_F(InstallTest, AFileItDidNotWriteIsReplacedOnlyWithForce) {
  const fs::path chromium = mConfig / "chromium" / "NativeMessagingHosts" / kManifest;
  const std::string foreign = "{\"name\": \"com.quorvex.webclient\", \"path\": \"/opt/other\"}\n";
  Write(chromium, foreign);
  const std::vector<std::string> options{"--user", "--browser", "chromium", "--chrome-extension-id",
                                         kChromeId};

  for (const char* extra : {"--dry-run", ""}) {
    std::vector<std::string> attempt = options;
    if (*extra != '\0')
      attempt.push_back(extra);
    Run run = Install(attempt);
    EXPECT_NE(run.status, 0) << extra;
    EXPECT_THAT(run.output, HasSubstr("refused to replace " + chromium.string()));
    EXPECT_EQ(ReadWhole(chromium), foreign);
  }

  std::vector<std::string> forced = options;
  forced.push_back("--dry-run");
  forced.push_back("--force");
  Run run = Install(forced);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(ReadWhole(chromium), foreign) << "a dry run writes nothing";

  forced.erase(forced.end() - 2);
  run = Install(forced);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("Replaced"));
  EXPECT_THAT(Allowed(chromium, "allowed_origins"),
              ElementsAre(std::string("chrome-extension://") + kChromeId + "/"));
}

TEST_F(InstallTest, UninstallTakesBackExactlyWhatItWroteAndKeepsWhatWasChanged) {
  // Chromium's folder is there already, with another program's manifest.
  const fs::path chromiumFolder = mConfig / "chromium" / "NativeMessagingHosts";
  const fs::path neighbour = chromiumFolder / "org.example.other.json";
  Write(neighbour, "{}\n");
  const fs::path chromium = chromiumFolder / kManifest;
  const fs::path firefox = mHome / ".mozilla" / "native-messaging-hosts" / kManifest;
  const fs::path vivaldi = mConfig / "vivaldi" / "NativeMessagingHosts" / kManifest;
  Run run =
      Install({"--user", "--browser", "chromium", "--browser", "firefox", "--browser", "vivaldi",
               "--chrome-extension-id", kChromeId, "--firefox-extension-id", kFirefoxId});
  ASSERT_EQ(run.status, 0) << run.output;
  ASSERT_TRUE(fs::exists(chromium) && fs::exists(firefox) && fs::exists(vivaldi));
  std::ofstream(firefox, std::ios::app) << "\n";

  run = Install({"--user", "--uninstall"});
  EXPECT_NE(run.status, 0) << "a file left behind is worth a failure status";
  EXPECT_THAT(run.output, HasSubstr("Removed: " + chromium.string()));
  EXPECT_THAT(run.output, HasSubstr("left " + firefox.string()));
  EXPECT_FALSE(fs::exists(chromium));
  EXPECT_FALSE(fs::exists(vivaldi));
  EXPECT_FALSE(fs::exists(mConfig / "vivaldi")) << "folders it created go too";
  EXPECT_TRUE(fs::exists(neighbour)) << "folders it found stay, with what is in them";
  EXPECT_TRUE(fs::exists(firefox));
  EXPECT_FALSE(fs::exists(mHome / "data" / "quorvex-webclient" / "installed"));

  // With the record gone, the changed file is no longer its to take.
  run = Install({"--user", "--uninstall"});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(fs::exists(firefox));
}

TEST_F(InstallTest, BadInputIsRefusedBeforeAnythingIsWritten) {
  struct Case {
    std::vector<std::string> options;
    std::string config;
    std::string message;
    std::map<std::string, std::string> environment = {};
  };
  // A host whose name browsers would read as another (JSON holds UTF-8 only).
  const std::string notUtf8Host = (mScratch / "bin" / "host\xff\xc0\x80").string();
  Write(notUtf8Host, "#!/bin/sh\n");
  fs::permissions(notUtf8Host, fs::perms::owner_all);
  const std::vector<Case> cases{
      {{"--chrome-extension-id", "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP"},
       "",
       "is not a Chromium extension ID"},
      {{"--chrome-extension-id", "abcdefghijklmnopabcdefghijklmno"},
       "",
       "'abcdefghijklmnopabcdefghijklmno'"},
      {{"--chrome-extension-id", "qbcdefghijklmnopabcdefghijklmnop"}, "", "32 letters from a to p"},
      {{"--firefox-extension-id", "no-at-sign"}, "", "is not a Firefox add-on ID"},
      {{"--firefox-extension-id", "a\"@b"}, "", "is not a Firefox add-on ID"},
      {{}, "chrome-extension-id = \"abcdefghijklmnopabcdefghijklmnop\"\n", "is not a Chromium"},
      {{}, "chrome-extension-id abcdefghijklmnopabcdefghijklmnop\n", "extensions.conf:1:"},
      {{},
       "# ok\nchrome-id = abcdefghijklmnopabcdefghijklmnop\n",
       "extensions.conf:2: unknown key"},
      {{"--browser", "safari"}, "", "unknown browser 'safari'"},
      {{"--browser", "chrome chromium"}, "", "unknown browser 'chrome chromium'"},
      {{"--browser", "chromium-flatpak", "--system"}, "", "register it with --user"},
      {{"--host", notUtf8Host}, "", "is not valid UTF-8"},
      // The record of what was written keeps a path a line.
      {{}, "", "HOME has a control character", {{"HOME", (mScratch / "a\nb").string()}}},
      {{}, "", "XDG_CONFIG_HOME has a", {{"XDG_CONFIG_HOME", mConfig.string() + "\n/tmp"}}},
      {{"--chrome-extension-id"}, "", "needs a value"},
  };
  for (const Case& c : cases) {
    fs::remove_all(mConfig);
    if (!c.config.empty())
      Write(mConfig / "quorvex-webclient" / "extensions.conf", c.config);
    std::vector<std::string> options{"--user", "--browser", "chromium", "--browser", "firefox"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const std::set<std::string> before = Tree();
    Run run = Install(options, c.environment);
    EXPECT_EQ(run.status, 2) << c.message;
    EXPECT_THAT(run.output, HasSubstr(c.message));
    EXPECT_EQ(Tree(), before) << c.message;
  }
}

TEST_F(InstallTest, FlatpakBrowsersReachTheHostThroughAWrapperUntilUninstalled) {
  // Stand-ins: Flatpak has two of the browsers, Firefox with the permission
  // already; flatpak-spawn --host starts the command as a process of its own
  // on the same stdin and stdout, killed with --watch-bus when it goes.
  const fs::path standIns = mScratch / "stand-ins";
  Write(standIns / "flatpak",
        "#!/bin/sh\ncase \"$1\" in\n"
        "  list) printf '%s\\n' org.chromium.Chromium org.mozilla.firefox org.example.Editor ;;\n"
        "  info) [ \"$3\" != org.mozilla.firefox ] ||\n"
        "    printf '[Session Bus Policy]\\norg.freedesktop.Flatpak=talk\\n' ;;\n"
        "  override) echo \"$*\" >>\"$0.log\" ;;\nesac\n");
  Write(standIns / "flatpak-spawn",
        "#!/bin/sh\n[ \"$1\" = --host ] || exit 64\nshift\nwatch=0\n"
        "[ \"$1\" = --watch-bus ] && watch=1 && shift\nexec 3<&0\n\"$@\" <&3 3<&- &\nchild=$!\n"
        "[ $watch = 0 ] || (while kill -0 $$ 2>/dev/null; do sleep 0.1; done; kill $child) "
        "</dev/null >/dev/null 2>&1 &\nwait $child\n");
  for (const char* name : {"flatpak", "flatpak-spawn"})
    fs::permissions(standIns / name, fs::perms::owner_all);
  const std::string path = standIns.string() + ":" + getenv("PATH");
  Write(mHost, "#!/bin/sh\nexec cat\n");
  const fs::path app = mHome / ".var/app/org.chromium.Chromium";
  fs::create_directories(app);
  const fs::path chromium = app / "config/chromium/NativeMessagingHosts" / kManifest;
  const fs::path firefox =
      mHome / ".var/app/org.mozilla.firefox/.mozilla/native-messaging-hosts" / kManifest;
  const std::string grant = "--talk-name=org.freedesktop.Flatpak org.chromium.Chromium";
  const std::vector<std::string> ids{"--user", "--chrome-extension-id", kChromeId,
                                     "--firefox-extension-id", kFirefoxId};

  Run run = Install(ids, {{"PATH", path}});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("flatpak override --user " + grant + "\n"));
  EXPECT_THAT(run.output, Not(HasSubstr("org.mozilla.firefox\n")));
  EXPECT_FALSE(fs::exists(mHome / ".var/app/org.example.Editor"));
  std::vector<std::string> withOverride = ids;
  withOverride.push_back("--flatpak-override");
  run = Install(withOverride, {{"PATH", path}});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(ReadWhole(standIns / "flatpak.log"), "override --user " + grant + "\n");

  const fs::path wrapper = chromium.parent_path() / "com.quorvex.webclient.sh";
  Manifest(chromium, "allowed_origins", wrapper);
  Json manifest =
      Manifest(firefox, "allowed_extensions", firefox.parent_path() / "com.quorvex.webclient.sh");
  EXPECT_THAT(Strings(json_object_object_get(manifest.get(), "allowed_extensions")),
              ElementsAre(kFirefoxId));
  HostProcess::Options browser;
  browser.binary = wrapper.string();
  browser.args = {std::string("chrome-extension://") + kChromeId + "/"};
  browser.environment = {{"PATH", path}};
  const std::vector<std::string> frames{"{\"name\":\"\\u0000 \xc3\xa9\\n\xf0\x9f\x98\x80\"}",
                                        "{\"big\":\"" + std::string(300000, 'x') + "\"}"};
  {
    HostProcess host(browser);
    for (const std::string& frame : frames) {
      ASSERT_TRUE(host.SendFrame(frame));
      EXPECT_EQ(host.ReadFrame(10000), frame) << "frames pass unchanged";
    }
    host.CloseStdin();
    EXPECT_EQ(host.WaitForExit(10000), 0) << "end of input reaches the host";
  }
  {
    HostProcess host(browser);
    ASSERT_TRUE(host.SendFrame(frames[0]));
    EXPECT_EQ(host.ReadFrame(10000), frames[0]);
    host.Kill();
    EXPECT_EQ(host.ReadFrame(10000), std::nullopt);
    EXPECT_TRUE(host.AtEndOfOutput()) << "the host outlived the browser";
  }

  run = Install({"--user", "--uninstall"}, {{"PATH", path}});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(ReadWhole(standIns / "flatpak.log"),
              HasSubstr("override --user --no-" + grant.substr(2) + "\n"));
  EXPECT_FALSE(fs::exists(app / "config")) << "its folders go with it";
  EXPECT_TRUE(fs::exists(app));
  EXPECT_FALSE(fs::exists(firefox.parent_path()));
}

}  // namespace
