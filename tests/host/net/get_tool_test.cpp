// The brevaro-get command line against the reference service.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "service/server.h"

namespace {

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

ToolRun runTool(const std::string& args) {
  std::string errFile = ::testing::TempDir() + "brevaro-get.err";
  std::string cmd = std::string(BREVARO_GET_PATH) + " " + args + " 2>" + errFile;
  ToolRun r;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream e(errFile, std::ios::binary);
  std::stringstream ss;
  ss << e.rdbuf();
  r.err = ss.str();
  return r;
}

}  // namespace

TEST(GetTool, FetchesAndReportsErrors) {
  brevaro::service::Server svc;
  ToolRun r = runTool("-i '" + svc.redirect_link("help") + "'");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(r.out.starts_with("HTTP/1.1 200 OK\r\n")) << r.out.substr(0, 80);
  EXPECT_NE(r.out.find("\r\n\r\n<!DOCTYPE html>"), std::string::npos);
  EXPECT_NE(r.out.find("<title>brevaro - Help</title>"), std::string::npos);

  r = runTool("'" + svc.url("/hostile/404?reason=Gone%20away") + "'");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "error: 404 Gone away\n");

  r = runTool("--proxy 127.0.0.1:" + std::to_string(svc.port()) + " http://www.example.invalid/brevaro/pages/help.htm");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("<title>brevaro - Help</title>"), std::string::npos);

  std::string file = ::testing::TempDir() + "brevaro-get.out";
  r = runTool("--socks 127.0.0.1:" + std::to_string(svc.socks_port()) + " -o " + file + " " +
              svc.url("/bench/bytes?n=100000"));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(r.out.empty());
  std::ifstream f(file, std::ios::binary | std::ios::ate);
  EXPECT_EQ(static_cast<long>(f.tellg()), 100000);

  r = runTool("-X HEAD -i " + svc.url("/brevaro/pages/help.htm"));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(r.out.ends_with("\r\n\r\n"));
  EXPECT_EQ(r.out.find("<html"), std::string::npos);

  r = runTool("-X POST --data 'a=1&b=2' " + svc.url("/brevaro/quillbeam-logs.asp"));
  auto rec = svc.wait_for([](const auto& q) { return q.method == "POST"; }, std::chrono::seconds(2));
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->body_length, 7u);
  EXPECT_EQ(rec->header("Content-Length"), "7");

  r = runTool(svc.url("/hostile/redirect-loop"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "error: 404 Too many redirects\n");

  r = runTool("-X PUT " + svc.url("/"));
  EXPECT_EQ(r.exitCode, 2);
}
