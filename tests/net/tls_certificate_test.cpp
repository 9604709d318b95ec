#include "net/tls_certificate.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>

#include "common/error.h"
#include "platform/file_system.h"
#include "support/temp_dir.h"
#include "web/url_coding.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

template <typename T, auto Free>
using Owned = std::unique_ptr<T, decltype([](T* object) { Free(object); })>;
using Certificate = Owned<X509, X509_free>;

Certificate LoadCertificate(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "r");
  Certificate certificate(file ? PEM_read_X509(file, nullptr, nullptr, nullptr) : nullptr);
  if (file)
    std::fclose(file);
  return certificate;
}

// Whether a client that trusts exactly this certificate accepts it for `host`.
bool Verifies(X509* certificate, const std::string& host) {
  Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
  Owned<X509_STORE_CTX, X509_STORE_CTX_free> context(X509_STORE_CTX_new());
  X509_STORE_add_cert(store.get(), certificate);
  X509_STORE_CTX_init(context.get(), store.get(), certificate, nullptr);
  X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context.get());
  if (host.find_first_not_of("0123456789.") == std::string::npos)
    X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
  else
    X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
  return X509_verify_cert(context.get()) == 1;
}

std::string Hex(const unsigned char* bytes, unsigned size) {
  std::string text;
  for (unsigned i = 0; i < size; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, i ? ":%02X" : "%02X", bytes[i]);
    text += pair;
  }
  return text;
}

// The fingerprint worked out without the X.509 code: SHA-256 of the base64 body.
std::string FingerprintOfPemBody(const std::string& pem) {
  const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
  const auto start = pem.find(begin) + begin.size();
  std::string body = pem.substr(start, pem.find(end) - start);
  std::erase(body, '\n');
  const std::string der = Base64Decode(body).value_or("");
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  EVP_Digest(der.data(), der.size(), digest, &size, EVP_sha256(), nullptr);
  return Hex(digest, size);
}

class TlsCertificateTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string cert_ = dir_.File("vantrel.crt");
  std::string key_ = dir_.File("vantrel.key");
};

TEST_F(TlsCertificateTest, CreatesAPairClientsAcceptForTheHost) {
  struct Case {
    std::string host, other_host;
  };
  for (const Case& c :
       {Case{"ftp.example.test", "other.example.test"}, Case{"127.0.0.1", "127.0.0.2"}}) {
    platform::ReplaceFileWithMode(key_, "an old key, once readable by all", 0644);
    CreateSelfSigned(cert_, key_, c.host);
    EXPECT_EQ(CheckPemPair(cert_, key_), std::nullopt) << c.host;
    EXPECT_EQ(fs::status(key_).permissions(), fs::perms(0600)) << c.host;
    EXPECT_EQ(fs::status(cert_).permissions(), fs::perms(0644)) << c.host;

    const Certificate certificate = LoadCertificate(cert_);
    ASSERT_TRUE(certificate) << c.host;
    EXPECT_TRUE(Verifies(certificate.get(), c.host)) << c.host;
    EXPECT_FALSE(Verifies(certificate.get(), c.other_host)) << c.host;
    EXPECT_EQ(X509_get_version(certificate.get()), X509_VERSION_3);
    EXPECT_EQ(X509_get_signature_nid(certificate.get()), NID_ecdsa_with_SHA256);
    char group[32] = "";
    EVP_PKEY_get_group_name(X509_get0_pubkey(certificate.get()), group, sizeof group, nullptr);
    EXPECT_STREQ(group, "prime256v1");
    int days = 0, seconds = 0;
    ASN1_TIME_diff(&days, &seconds, X509_get0_notBefore(certificate.get()),
                   X509_get0_notAfter(certificate.get()));
    EXPECT_TRUE(days == 3652 || days == 3653) << days;  // two or three leap days
  }
}

TEST_F(TlsCertificateTest, FingerprintIsTheSha256OfTheDerCertificate) {
  CreateSelfSigned(cert_, key_, "ftp.example.test");
  const std::string fingerprint = Sha256Fingerprint(cert_);
  EXPECT_TRUE(std::regex_match(fingerprint, std::regex("([0-9A-F]{2}:){31}[0-9A-F]{2}")));
  EXPECT_EQ(fingerprint, FingerprintOfPemBody(*platform::ReadWholeFile(cert_)));
  if (std::system("command -v openssl >/dev/null 2>&1") == 0) {
    const std::string out = dir_.File("openssl.txt");
    ASSERT_EQ(
        std::system(("openssl x509 -noout -fingerprint -sha256 -in '" + cert_ + "' > '" + out + "'")
                        .c_str()),
        0);
    EXPECT_EQ(platform::ReadWholeFile(out), "sha256 Fingerprint=" + fingerprint + "\n");
  }
}

TEST_F(TlsCertificateTest, UnusablePairsAreRefusedWithTheReason) {
  CreateSelfSigned(cert_, key_, "a.example.test");
  const std::string other_cert = dir_.File("b.crt"), other_key = dir_.File("b.key");
  CreateSelfSigned(other_cert, other_key, "b.example.test");
  const std::string garbage = dir_.File("garbage.pem"), locked = dir_.File("locked.key");
  platform::ReplaceFile(garbage, "-----BEGIN CERTIFICATE-----\nnot base64\n");
  {
    FILE* in = std::fopen(key_.c_str(), "r");
    Owned<EVP_PKEY, EVP_PKEY_free> key(PEM_read_PrivateKey(in, nullptr, nullptr, nullptr));
    std::fclose(in);
    FILE* out = std::fopen(locked.c_str(), "w");
    PEM_write_PrivateKey(out, key.get(), EVP_aes_256_cbc(), nullptr, 0, nullptr,
                         const_cast<char*>("secret"));
    std::fclose(out);
  }
  const std::string missing = dir_.File("missing.pem");
  const std::string not_there = "cannot read " + missing + ": No such file or directory";
  struct Case {
    std::string cert, key, reason;
  };
  const Case cases[] = {
      {missing, key_, not_there},
      {garbage, key_, "not a PEM certificate"},
      {key_, key_, "not a PEM certificate"},
      {cert_, missing, not_there},
      {cert_, garbage, "not a PEM private key"},
      {cert_, cert_, "not a PEM private key"},
      {cert_, other_key, "the key does not match the certificate"},
      {cert_, locked, "the private key is protected by a passphrase"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CheckPemPair(c.cert, c.key), c.reason) << c.cert << " " << c.key;
  EXPECT_THROW(Sha256Fingerprint(garbage), Error);
}

TEST_F(TlsCertificateTest, CreationRefusesWhatCannotWork) {
  for (const std::string& host :
       std::initializer_list<std::string>{"", "two words", "new\nline", std::string(65, 'a')})
    EXPECT_THROW(CreateSelfSigned(cert_, key_, host), Error) << host;
  try {
    CreateSelfSigned(dir_.File("no/such.crt"), dir_.File("no/such.key"), "ftp.example.test");
    ADD_FAILURE() << "wrote into a missing directory";
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find("No such file or directory"), std::string::npos)
        << error.what();
  }
  EXPECT_FALSE(fs::exists(cert_) || fs::exists(key_));
}

}  // namespace
}  // namespace vantrel
