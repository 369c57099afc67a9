// quorvex-webclient-install run for real against a scratch home and system
// root. Each step of a case is a bash script run in the scratch folder after
// kPrelude; outputs and files read the scratch folder as ".".
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

// `qx` is the install command with the scratch host and root; `put FILE
// TEXT` writes an executable file.
constexpr char kPrelude[] = R"sh(cd "$SCRATCH" && exec 2>&1
export HOME=$PWD/home XDG_CONFIG_HOME=$PWD/home/.config XDG_DATA_HOME=$PWD/home/.local/share
export PATH=$PWD/bin:$PATH
qx() { "$QX" --host $PWD/bin/host --root $PWD/root "$@"; }
put() { mkdir -p "$(dirname "$1")" && printf "$2" >"$1" && chmod +x "$1"; }
)sh";
// Every case starts with these. Stand-ins: Flatpak has Chromium, and
// flatpak-spawn shows what it was to start.
constexpr char kSetup[] = R"sh(put bin/host '#!/bin/sh\n' && put bin/h$'\xff' '#!/bin/sh\n'
put bin/flatpak '#!/bin/sh\ncase $1 in list) echo org.chromium.Chromium ;;
  override) echo "$*" >>$0.log ;; esac\n'
put bin/flatpak-spawn '#!/bin/sh\nprintf "%%s\\n" "$@"\n')sh";

const std::string kA = "abcdefghijklmnopabcdefghijklmnop";
const std::string kB = "ponmlkjihgfedcbaponmlkjihgfedcba";
const std::string kIds = " --chrome-extension-id " + kA + " --firefox-extension-id a@b.example";
const std::string kManifest = "/com.quorvex.webclient.json";
const std::string kChromium = "home/.config/chromium/NativeMessagingHosts" + kManifest;
const std::string kChrome = "home/.config/google-chrome/NativeMessagingHosts" + kManifest;
const std::string kOther = "home/.config/chromium/NativeMessagingHosts/other.json";
const std::string kFirefox = "home/.mozilla/native-messaging-hosts" + kManifest;
const std::string kApp = "home/.var/app/org.chromium.Chromium/config/chromium/NativeMessagingHosts";
const std::string kGrant = "talk-name=org.freedesktop.Flatpak org.chromium.Chromium\n";
const std::string kOriginA = "[\n    \"chrome-extension://" + kA + "/\"\n  ]";

struct Step {
  std::string script;
  int status;
  std::string says;  // a piece of its output
};
struct Case {
  const char* what;
  std::vector<Step> steps;
  // At the end: a path and a piece of its text, or "-" when it must not be there.
  std::vector<std::pair<std::string, std::string>> files;
};

void Check(const std::string& scratch, const Case& c) {
  const auto local = [&](std::string text) {
    for (size_t i = 0; (i = text.find(scratch, i)) != std::string::npos; ++i)
      text.replace(i, scratch.size(), ".");
    return text;
  };
  const auto tree = [&] {
    return std::set<fs::path>(fs::recursive_directory_iterator(scratch), {});
  };
  fs::remove_all(scratch);
  fs::create_directory(scratch);
  std::vector<Step> steps{{kSetup, 0, ""}};
  steps.insert(steps.end(), c.steps.begin(), c.steps.end());
  for (const Step& step : steps) {
    const std::set<fs::path> before = tree();
    ChildResult run = RunChild({"/bin/bash", "-c", kPrelude + step.script},
                               {{"QX", QX_INSTALL_COMMAND}, {"SCRATCH", scratch}}, 20000);
    EXPECT_EQ(run.exitCode, step.status) << step.script << "\n" << run.output;
    EXPECT_THAT(local(run.output), HasSubstr(step.says)) << step.script;
    EXPECT_EQ(step.status == 2 ? tree() : before, before) << step.script << ": a refusal wrote";
  }
  for (const auto& [path, piece] : c.files) {
    ASSERT_EQ(fs::exists(scratch + "/" + path), piece != "-") << path;
    std::stringstream text;
    text << std::ifstream(scratch + "/" + path).rdbuf();
    EXPECT_THAT(local(text.str()), HasSubstr(piece == "-" ? "" : piece)) << path;
  }
}

TEST(InstallTest, EachCase) {
  std::string scratch = ::testing::TempDir() + "qx-install-XXXXXX";
  ASSERT_NE(mkdtemp(scratch.data()), nullptr);
  const std::vector<Case> cases{
      {"user manifests for exactly the browsers named",
       {{"qx --user --browser chromium --browser firefox" + kIds, 0, "Wrote: ./" + kChromium}},
       {{kChromium, "\"path\": \"./bin/host\""},
        {kChromium, kOriginA},
        {kChrome, "-"},
        {kFirefox, "\"allowed_extensions\": [\n    \"a@b.example\"\n  ]"},
        {"home/.var", "-"}}},
      {"uninstalling by browser takes whole names, and never a changed or others' file",
       {{"put " + kOther +
             " {}; qx --user --browser chrome --browser chromium --browser "
             "chrome-flatpak --browser firefox" +
             kIds,
         0, ""},
        {"qx --uninstall --user --browser chrome", 0, "Removed: ./" + kChrome},
        {"qx --uninstall --user --browser chromium", 0, "Removed: ./" + kChromium},
        {"qx --uninstall --user --browser chrome-flatpak", 0,
         "Removed: ./home/.var/app/com.google"},
        {"echo >>" + kFirefox + "; qx --uninstall --user", 1, "left ./" + kFirefox}},
       {{kOther, "{}"},
        {kFirefox, "a@b.example"},
        {"home/.var", "-"},
        {"home/.config/google-chrome", "-"},
        {"home/.local/share/quorvex-webclient", "-"}}},
      {"a file it did not write is replaced only with --force",
       {{"put " + kChromium + " '{}'; qx --user --browser chromium" + kIds, 1,
         "refused to replace ./" + kChromium},
        {"qx --user --browser chromium --force" + kIds, 0, "Replaced"}},
       {{kChromium, kOriginA}}},
      {"system manifests under the root, IDs from its configuration, each once",
       {{"put root/etc/quorvex-webclient/extensions.conf '# IDs\\n\\nchrome-extension-id = " + kA +
             " # store\\nchrome-extension-id=" + kB + "\\n  chrome-extension-id = " + kA +
             "'; put home/.config/quorvex-webclient/extensions.conf 'firefox-extension-id = a@b.c'"
             "; qx --system --browser chrome --browser firefox",
         0, "skipped firefox"}},
       {{"root/etc/opt/chrome/native-messaging-hosts" + kManifest,
         "[\n    \"chrome-extension://" + kA + "/\",\n    \"chrome-extension://" + kB + "/\"\n  ]"},
        {"root/usr/lib/mozilla", "-"},
        {"root/var/lib/quorvex-webclient/installed", "chrome"}}},
      {"a Flatpak browser found gets a wrapper that starts the host outside, and the permission",
       {{"qx --user --flatpak-override" + kIds, 0, "Ran: flatpak override"},
        {"grep path " + kApp + kManifest + "; " + kApp + "/com.quorvex.webclient.sh origin", 0,
         "\"path\": \"./" + kApp +
             "/com.quorvex.webclient.sh\",\n--host\n--watch-bus\n./bin/host\norigin\n"},
        {"qx --uninstall --user", 0, "Ran: flatpak override --user --no-talk-name"}},
       {{"home/.var", "-"},
        {"bin/flatpak.log", "override --user --" + kGrant + "override --user --no-" + kGrant}}},
      {"refused before anything is written",
       {{"qx --user --browser 'chrome chromium'" + kIds, 2, "unknown browser 'chrome chromium'"},
        {"qx --user --browser chromium --chrome-extension-id " + kA + "q", 2, "is not a Chromium"},
        {"qx --user --browser chromium --host $PWD/bin/h$'\\xff'" + kIds, 2, "is not valid UTF-8"},
        // The record of what was written keeps a path a line.
        {"HOME=$PWD/a$'\\n'b qx --user" + kIds, 2, "HOME has a control character"},
        {"XDG_CONFIG_HOME=$PWD/c$'\\t' qx --user" + kIds, 2, "XDG_CONFIG_HOME has a control"},
        {"XDG_DATA_HOME=$PWD/$'\\n'/x qx --user" + kIds, 2, "XDG_DATA_HOME has a control"},
        {"qx --system --root $PWD/root$'\\n'/x" + kIds, 2, "--root has a control character"}},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Check(scratch, c);
  }
  fs::remove_all(scratch);
}

}  // namespace
