// The manual serial terminal's logic: hex entries, and the log of a short exchange with a
// drive played on a pseudo-terminal.
#include "comm/comm_terminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "comm/comm_port_manager.h"
#include "platform/error.h"
#include "pty_pair.h"

namespace tolvek {
namespace {

using test::Bytes;

TEST(CommTerminal, HexEntryGivesOneByteForEachRunOfDigits) {
  struct Case {
    const char* entry;
    std::string bytes;
  } cases[] = {
      {"1 2A 3FF", Bytes({0x01, 0x2A, 0xFF})},
      {"a5,03;ff", Bytes({0xA5, 0x03, 0xFF})},
      {"", ""},
      {"xyz", ""},
      {"12345", Bytes({0x45})},
      {"G1", Bytes({0x01})},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseTerminalHex(c.entry), c.bytes) << c.entry;
  EXPECT_EQ(ParseTerminalHex(std::string(400, '1')), Bytes({0x11}));
  std::string many;
  for (int i = 0; i < 300; ++i) many += "7 ";
  EXPECT_EQ(ParseTerminalHex(many).size(), 255u);
}

TEST(CommTerminal, LogsAnExchange) {
  test::TPtyPair pty;
  ASSERT_TRUE(pty.Ok());
  ::setenv("TOLVEK_PORT_COM8", pty.SlavePath().c_str(), 1);
  TCommPortManager manager;
  TCommTerminal terminal(manager);
  EXPECT_THROW(terminal.Open("COM7-missing", 9600), EError);
  EXPECT_FALSE(terminal.IsOpen());
  terminal.Open("COM8", 9600);
  terminal.Send("1 2A 3FF");
  EXPECT_EQ(pty.Read(3), Bytes({0x01, 0x2A, 0xFF}));
  pty.Write("AB");
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (terminal.Lines().back() != "<- 41 42 " && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  terminal.Close();
  EXPECT_EQ(terminal.Lines(), (std::vector<std::string>{"Port COM8 opened.", "-> 1 2A 3FF",
                                                       "<- 41 42 ", "Port COM8 closed."}));
  terminal.Clear();
  EXPECT_TRUE(terminal.Lines().empty());
  ::unsetenv("TOLVEK_PORT_COM8");
}

}  // namespace
}  // namespace tolvek
