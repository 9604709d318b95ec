// What the server says about itself and the session: FEAT, HELP, SITE, OPTS.

#include <gtest/gtest.h>

#include "ftp/ftp_server_fixture.h"

namespace vantrel {
namespace {

using testing::Converse;
using testing::FtpTestClient;

class FtpInfoTest : public testing::FtpServerFixture {
 protected:
  FtpInfoTest() { LoginAccepts(); }
};

TEST_F(FtpInfoTest, FeatListsExactlyThisConfiguration) {
  Start();
  FtpTestClient client = Connect();
  const std::string feat =
      "211-Extensions supported:\n"
      " EPRT\n"
      " EPSV\n"
      " LIST -laT\n"
      " MDTM YYYYMMDDHHMMSS filename\n"
      " MFMT\n"
      " MLSD\n"
      " MLST size*;Type*;Modify*;\n"
      " REST STREAM\n"
      " SITE ZONE\n"
      " SIZE\n"
      " SPSV\n"
      " STAT -laT\n"
      " TVFS\n"
      " UTF8\n"
      " XCRC filename;start;end\n"
      " XMD5 filename;start;end\n"
      " Compliance Level: 20020901 (IETF mlst-16)\n"
      "211 End of extentions.";
  EXPECT_EQ(client.Ask("FEAT"), feat) << "FEAT needs no login";
}

TEST_F(FtpInfoTest, OptsMlstSelectsAmongOfferedFactsAndFeatFollows) {
  Start();
  FtpTestClient client = Connect();
  struct Case {
    const char* sent;
    const char* reply;
  };
  const Case cases[] = {
      {"OPTS MLST type;SIZE;perm;bogus;", "200 MLST OPTS size;type;"},
      {"OPTS MLST", "200 MLST OPTS type;"},
      {"OPTS MLST size; type;", "501 Invalid MLST options"},
      {"OPTS MODE Z LEVEL 5", "501 Option not recognized."},
      {"opts mlst modify;", "200 MLST OPTS type;modify;"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(client.Ask(c.sent), c.reply) << c.sent;
  const std::string feat = client.Ask("FEAT");
  EXPECT_NE(feat.find("\n MLST size;Type*;Modify*;\n"), std::string::npos) << feat;
}

TEST_F(FtpInfoTest, OptsUtf8AcceptsOnlyWhatNamesAlreadyAre) {
  Start();
  FtpTestClient client = Connect();
  Converse(client, {
                       {"OPTS UTF8 ON", "200 UTF8 set to on"},
                       {"opts utf8 on", "200 UTF8 set to on"},
                       {"OPTS UTF8 OFF", "504 UTF8 cannot be turned off"},
                       {"OPTS UTF8", "501 Invalid UTF8 options"},
                       {"OPTS UTF8 ONE", "501 Invalid UTF8 options"},
                       {"OPTS UTF-8 ON", "501 Option not recognized."},
                   });
}

TEST_F(FtpInfoTest, OptsMlstOffersWhatTheServerAdds) {
  server_.SetMLSDFacts({MlstFact::kPerm, MlstFact::kUnixMode});
  Start();
  FtpTestClient client = Connect();
  EXPECT_EQ(client.Ask("OPTS MLST perm;UNIX.mode;create;"), "200 MLST OPTS type;perm;UNIX.mode;");
  const std::string feat = client.Ask("FEAT");
  EXPECT_NE(feat.find("\n MLST size;Type*;Modify;Perm*;UNIX.mode*;\n"), std::string::npos) << feat;
}

TEST_F(FtpInfoTest, HelpLaysOutCommandsInColumns) {
  Start();
  FtpTestClient client = Connect();
  const std::string help =
      "214-The following commands are recognized (* => unimplemented, + => extension).\n"
      "214-    ABOR      ACCT*     ALLO      APPE      AUTH*     CCC*      CDUP\n"
      "214-    CLNT      COMB*     CONF*     CPSV*     CWD       DELE      ENC*\n"
      "214-    EPRT      EPSV      FEAT      HELP      LIST      MAIL*     MD5\n"
      "214-    MDTM      MFCT*     MFF*      MFMT      MIC*      MKD       MLFL*\n"
      "214-    MLSD      MLST      MMD5      MODE      MRCP*     MRSQ*     MSAM*\n"
      "214-    MSND*     MSOM*     NLST      NOOP      OPTS      PASS      PASV\n"
      "214-    PBSZ*     PORT      PROT*     PWD       QUIT      REIN      REST\n"
      "214-    RETR      RMD       RNFR      RNTO      SITE      SIZE      SMNT*\n"
      "214-    SPSV      SSCN*     STAT      STOR      STOU      STRU      SYST\n"
      "214-    TYPE      USER      XCRC      XCUP      XCWD      XMD5      XMKD\n"
      "214     XPWD      XRMD";
  EXPECT_EQ(client.Ask("HELP"), help);
}

TEST_F(FtpInfoTest, HelpEndsWithTheOperatorsLine) {
  server_.SetEndOfHelpLine("Direct comments to the operator.");
  Start();
  FtpTestClient client = Connect();
  const std::string help = client.Ask("HELP");
  EXPECT_EQ(help.find("P@SW"), std::string::npos) << "hidden from HELP";
  EXPECT_EQ(help.substr(help.rfind('\n') + 1), "214 Direct comments to the operator.");
}

TEST_F(FtpInfoTest, HelpOnOneCommand) {
  Start();
  FtpTestClient client = Connect();
  EXPECT_EQ(client.Ask("HELP cwd"), "214 Syntax: CWD <sp> <pathname>");
  EXPECT_EQ(client.Ask("HELP FROB"), "502 Unknown command FROB.");
}

TEST_F(FtpInfoTest, SiteSubcommands) {
  Start();
  FtpTestClient client = Connect();
  const std::string zone = client.Ask("SITE ZONE");
  EXPECT_EQ(zone.rfind("210 UTC", 0), 0u) << zone;
  EXPECT_TRUE(zone[7] == '+' || zone[7] == '-') << zone;
  struct Case {
    const char* sent;
    const char* reply;
  };
  const Case before_login[] = {
      {"SITE HELP", "530 Not logged in."},
      {"SITE CHMOD 755 f", "500 'SITE CHMOD 755 f': command not understood."},
      {"SITE", "500 'SITE': command not understood."},
  };
  for (const auto& c : before_login)
    EXPECT_EQ(client.Ask(c.sent), c.reply) << c.sent;
  EXPECT_EQ(client.Ask("USER user"), "331 User name okay, need password.");
  EXPECT_EQ(client.Ask("PASS secret"), "230 User logged in, proceed.");
  const Case after_login[] = {
      {"site help", "214-The following SITE commands are supported:\n214     ZONE"},
      {"SITE DIRSTYLE", "500 'SITE DIRSTYLE': command not understood."},
      {"SITE ZONEX", "500 'SITE ZONEX': command not understood."},
  };
  for (const auto& c : after_login)
    EXPECT_EQ(client.Ask(c.sent), c.reply) << c.sent;
}

TEST_F(FtpInfoTest, DisabledSystAndStat) {
  server_.SecurityOptions().disable_syst_command = true;
  server_.SecurityOptions().disable_stat_command = true;
  Start();
  FtpTestClient client = LoggedIn();
  EXPECT_EQ(client.Ask("SYST"), "550 \"SYST\" Command not implemented.");
  EXPECT_EQ(client.Ask("STAT"), "550 \"STAT\" Command not implemented.");
}

}  // namespace
}  // namespace vantrel
