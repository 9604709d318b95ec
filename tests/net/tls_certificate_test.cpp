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

namespace vantrel {
namespace {

namespace fs = std::filesystem;

template <typename T, auto Free>
using Owned = std::unique_ptr<T, decltype([](T* object) { Free(object); })>;
using Certificate = Owned<X509, X509_free>;

Certificate LoadCertificate(const std::string& path) {
  Owned<BIO, BIO_free_all> file(BIO_new_file(path.c_str(), "r"));
  return Certificate(file ? PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr) : nullptr);
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

// As the openssl tool prints it when installed, else worked out here from the DER bytes.
std::string ExpectedFingerprint(const std::string& cert_path, const std::string& scratch) {
  if (std::system(("openssl x509 -noout -fingerprint -sha256 -in '" + cert_path + "' > '" +
                   scratch + "' 2>/dev/null")
                      .c_str()) == 0) {
    const std::string printed = platform::ReadWholeFile(scratch).value_or("");
    return printed.substr(printed.find('=') + 1, 32 * 3 - 1);
  }
  unsigned char* der = nullptr;
  const int size = i2d_X509(LoadCertificate(cert_path).get(), &der);
  unsigned char digest[32];
  EVP_Digest(der, static_cast<std::size_t>(size), digest, nullptr, EVP_sha256(), nullptr);
  OPENSSL_free(der);
  std::string text;
  for (const unsigned char byte : digest)
    text += std::string(":") + "0123456789ABCDEF"[byte >> 4] + "0123456789ABCDEF"[byte & 0xF];
  return text.substr(1);
}

class TlsCertificateTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string cert_ = dir_.File("vantrel.crt");
  std::string key_ = dir_.File("vantrel.key");
};

TEST_F(TlsCertificateTest, CreatesAPairClientsAcceptAndPinByFingerprint) {
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

    const std::string fingerprint = Sha256Fingerprint(cert_);
    EXPECT_TRUE(std::regex_match(fingerprint, std::regex("([0-9A-F]{2}:){31}[0-9A-F]{2}")));
    EXPECT_EQ(fingerprint, ExpectedFingerprint(cert_, dir_.File("printed.txt")));
  }
}

TEST_F(TlsCertificateTest, UnusablePairsAreRefusedWithTheReason) {
  CreateSelfSigned(cert_, key_, "a.example.test");
  const std::string other_key = dir_.File("b.key");
  CreateSelfSigned(dir_.File("b.crt"), other_key, "b.example.test");
  const std::string garbage = dir_.File("garbage.pem"), locked = dir_.File("locked.key");
  platform::ReplaceFile(garbage, "-----BEGIN CERTIFICATE-----\nnot base64\n");
  {
    Owned<BIO, BIO_free_all> in(BIO_new_file(key_.c_str(), "r")),
        out(BIO_new_file(locked.c_str(), "w"));
    Owned<EVP_PKEY, EVP_PKEY_free> key(
        PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr));
    PEM_write_bio_PrivateKey(out.get(), key.get(), EVP_aes_256_cbc(), nullptr, 0, nullptr,
                             const_cast<char*>("secret"));
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
  EXPECT_THROW(CreateSelfSigned(cert_, dir_.File("no/such.key"), "ftp.example.test"), Error);
  EXPECT_FALSE(fs::exists(cert_) || fs::exists(key_));
}

}  // namespace
}  // namespace vantrel
