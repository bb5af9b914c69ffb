// valdora-patch against a signed site that nginx serves over https with a
// certificate of the test's own authority (made by openssl here): taken only
// when that authority is added and the certificate names the host. The
// Windows build (Schannel) is given the authority the same way, and must
// refuse the same.
#include <gtest/gtest.h>

#include "support/programs.h"
#include "support/site.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

// An authority and its certificates: "site" for localhost, "other" for another host.
constexpr const char* kMakeCertificates = R"(set -e
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
  -subj "/CN=Valdora test authority" -keyout ca.key -out ca.pem
for cert in site:DNS:localhost other:DNS:other.example; do
  name=${cert%%:*}
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$name" \
    -keyout "$name.key" -out "$name.csr"
  openssl x509 -req -in "$name.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -out "$name.pem" -extfile <(echo "subjectAltName=${cert#*:}")
done)";

TEST(TlsSite, TakenOnlyFromAServerWhoseCertificateChecks) {
    TempDir dir;
    const fs::path d = dir.path();
    ASSERT_EQ(run({"bash", "-c", kMakeCertificates}, d).status, 0);
    ASSERT_EQ(run({VALDORA_PUBLISH_EXE, "keygen", d / "keys"}, d).status, 0);
    // a.pak of more than one block of the hash made behind the download
    const Files files = {{"a.pak", pattern(3 << 20, 1)}, {"b.map", pattern(7000, 2)}};
    write_tree(d / "build", files);
    Nginx nginx(d / "site", d / "nginx", free_port());
    const std::string key = d / "keys" / "valdora.pub", ca = d / "ca.pem";
    nginx.use_tls(d / "site.pem", d / "site.key");
    ASSERT_EQ(publish(d / "build", d / "site", nginx.url("/game"),
                      {"--sign-key", d / "keys" / "valdora.key"}),
              "");
    // Over https the certificate vouches for the server list: no signature needed.
    fs::remove(d / "site" / "serverlist_test.aspx.minisig");

    const struct {
        const char* name;
        const char* certificate;
        std::vector<std::string> args;
        int status;
        const char* said;
    } cases[] = {
        {"own authority", "site", {"--ca-file", ca, "--trusted-key", key, "--verify"}, 0, "hazır."},
        {"system's authorities alone", "site", {"--trusted-key", key}, 1, "certificate"},
        {"another host", "other", {"--ca-file", ca, "--trusted-key", key}, 1, "match"},
        {"--verify, no key", "site", {"--ca-file", ca, "--verify"}, 64, "needs a trusted key"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Wine's Schannel takes any certificate when given no authorities.
        if (windows_programs() && std::string(c.name) == "system's authorities alone") continue;
        nginx.use_tls(d / (std::string(c.certificate) + ".pem"),
                      d / (std::string(c.certificate) + ".key"));
        std::string error;
        ASSERT_TRUE(nginx.start(error)) << error;
        const fs::path game = d / "game" / c.name;
        fs::create_directories(game);
        const Result r =
            run(with(with(patch_program(), {"--update-list", nginx.url(kListPath), "--server-list",
                                            nginx.url("/serverlist_test.aspx")}),
                     c.args),
                game);
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find(c.said), std::string::npos) << r.output;
        if (c.status == 1) {  // the player's log says why, too
            EXPECT_NE(read_bytes(game / "base" / "launcher_log.txt").find(c.said),
                      std::string::npos);
        }
        EXPECT_EQ(differences(game, files).size(), c.status == 0 ? 0u : files.size());
        nginx.stop();
    }
}

}  // namespace
