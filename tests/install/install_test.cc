// quorvex-webclient-install run for real against a scratch home and system
// root: each step of a case is a bash script run in the scratch folder after
// kPrelude, and its status and a piece of its output are checked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace fs = std::filesystem;

namespace {

// `qx` runs the install command with the scratch host and root; `put FILE
// TEXT` writes an executable file; `has FILE TEXT` fails unless FILE, with
// the scratch folder read as ".", holds TEXT; `gone PATH...` fails when one is
// there. TEXT takes printf's escapes.
constexpr char kPrelude[] = R"sh(cd "$SCRATCH" && exec 2>&1
export HOME=$PWD/home XDG_CONFIG_HOME=$PWD/home/.config XDG_DATA_HOME=$PWD/home/.local/share
export PATH=$PWD/bin:$PATH
qx() { "$QX" --host $PWD/bin/host --root $PWD/root "$@"; }
put() { mkdir -p "$(dirname "$1")" && printf "$2" >"$1" && chmod +x "$1"; }
has() { [[ $(sed "s|$PWD|.|g" "$1") == *"$(printf -- "$2")"* ]] || { echo "no $2 in $1"; false; }; }
gone() { ! ls -d "$@" 2>/dev/null; }
a=abcdefghijklmnopabcdefghijklmnop b=ponmlkjihgfedcbaponmlkjihgfedcba m=com.quorvex.webclient.json
ids="--chrome-extension-id $a --firefox-extension-id a@b.example"
only_a="[\n    \"chrome-extension://$a/\"\n  ]"
chromium=home/.config/chromium/NativeMessagingHosts/$m
chrome=home/.config/google-chrome/NativeMessagingHosts/$m
firefox=home/.mozilla/native-messaging-hosts/$m
app=home/.var/app/org.chromium.Chromium/config/chromium/NativeMessagingHosts
)sh";
// Stand-ins: Flatpak has Chromium, and flatpak-spawn shows what it would start.
constexpr char kSetup[] = R"sh(put bin/host '#!/bin/sh\n' && put bin/h$'\xff' '#!/bin/sh\n'
put bin/flatpak '#!/bin/sh\ncase $1 in list) echo org.chromium.Chromium ;;
  override) echo "$*" >>$0.log ;; esac\n'
put bin/flatpak-spawn '#!/bin/sh\nprintf "%%s\\n" "$@"\n')sh";

struct Step {
  std::string script;
  int status = 0;
  std::string says = "";
};

TEST(InstallTest, EachCase) {
  const std::vector<std::pair<const char*, std::vector<Step>>> cases{
      {"user manifests for exactly the browsers named",
       {{R"(qx --user --browser chromium --browser firefox $ids && has $chromium "$only_a" &&
            has $chromium '"path": "./bin/host"' && gone $chrome home/.var &&
            has $firefox '"allowed_extensions": [\n    "a@b.example"\n  ]')"}}},
      {"uninstalling by browser takes whole names, and never a changed or others' file",
       {{R"(put ${chromium%/*}/other.json {} &&
            qx --user --browser chrome --browser chromium --browser chrome-flatpak $ids &&
            qx --uninstall --user --browser chrome && gone $chrome && has $chromium "$only_a" &&
            has home/.var/app/com.google.Chrome/config/google-chrome/NativeMessagingHosts/$m . &&
            qx --uninstall --user --browser chromium && gone $chromium home/.config/google-chrome &&
            qx --uninstall --user --browser chrome-flatpak && gone home/.var)"},
        {R"(qx --user --browser firefox $ids && echo >>$firefox && qx --uninstall --user)", 1,
         "native-messaging-hosts/com.quorvex.webclient.json: it was changed"},
        {R"(has $firefox a@b.example && has ${chromium%/*}/other.json {} &&
            gone home/.local/share/quorvex-webclient)"}}},
      {"a file it did not write is replaced only with --force",
       {{R"(put $chromium {} && qx --user --browser chromium $ids)", 1, "refused to replace"},
        {R"(qx --user --browser chromium --force $ids && has $chromium "$only_a")"}}},
      {"system manifests under the root, IDs from its configuration, each once",
       {{R"(put root/etc/quorvex-webclient/extensions.conf "# IDs\n\nchrome-extension-id = $a # x
            chrome-extension-id=$b\n  chrome-extension-id = $a" &&
            put home/.config/quorvex-webclient/extensions.conf "firefox-extension-id = a@b.c" &&
            qx --system --browser chrome --browser firefox)",
         0, "skipped firefox"},
        {R"(gone root/usr/lib/mozilla && has root/var/lib/quorvex-webclient/installed chrome &&
            has root/etc/opt/chrome/native-messaging-hosts/$m \
              "[\n    \"chrome-extension://$a/\",\n    \"chrome-extension://$b/\"\n  ]")"}}},
      {"a Flatpak browser found gets a wrapper that starts the host outside, and the permission",
       {{R"(qx --user --flatpak-override $ids && has $app/$m "\"path\": \"./$app/${m%json}sh\"" &&
            $app/${m%json}sh origin | has /dev/stdin "--host\n--watch-bus\n./bin/host\norigin" &&
            qx --uninstall --user && gone home/.var && talk=org.freedesktop.Flatpak &&
            has bin/flatpak.log \
              "--talk-name=$talk org.chromium.Chromium\noverride --user --no-talk")"}}},
      {"refused before anything is written",
       {{"qx --user --browser 'chrome chromium' $ids", 2, "unknown browser 'chrome chromium'"},
        {"qx --user --browser chrom $ids", 2, "unknown browser 'chrom'"},
        {"qx --user --browser chromium --chrome-extension-id ${a}q", 2, "is not a Chromium"},
        {"qx --user --browser chromium --chrome-extension-id ${a%p}q", 2, "is not a Chromium"},
        {"qx --user --browser chromium --host $PWD/bin/h$'\\xff' $ids", 2, "is not valid UTF-8"},
        // The record of what was written keeps a path a line.
        {"HOME=$PWD/a$'\\n'b qx --user $ids", 2, "HOME has a control character"},
        {"XDG_CONFIG_HOME=$PWD/c$'\\t' qx --user $ids", 2, "XDG_CONFIG_HOME has a control"},
        {"XDG_DATA_HOME=$PWD/$'\\n'/x qx --user $ids", 2, "XDG_DATA_HOME has a control"},
        {"qx --system --root $PWD/root$'\\n'/x $ids", 2, "--root has a control character"}}},
  };
  std::string scratch = ::testing::TempDir() + "qx-install-XXXXXX";
  ASSERT_NE(mkdtemp(scratch.data()), nullptr);
  const auto tree = [&] {
    return std::set<fs::path>(fs::recursive_directory_iterator(scratch), {});
  };
  for (const auto& [what, steps] : cases) {
    SCOPED_TRACE(what);
    fs::remove_all(scratch);
    fs::create_directory(scratch);
    std::vector<Step> all{{kSetup}};
    all.insert(all.end(), steps.begin(), steps.end());
    for (const Step& step : all) {
      const std::set<fs::path> before = tree();
      ChildResult run = RunChild({"/bin/bash", "-c", kPrelude + step.script},
                                 {{"QX", QX_INSTALL_COMMAND}, {"SCRATCH", scratch}}, 20000);
      EXPECT_EQ(run.exitCode, step.status) << step.script << "\n" << run.output;
      EXPECT_THAT(run.output, ::testing::HasSubstr(step.says)) << step.script;
      EXPECT_EQ(step.status == 2 ? tree() : before, before) << step.script << ": a refusal wrote";
    }
  }
  fs::remove_all(scratch);
}

}  // namespace
