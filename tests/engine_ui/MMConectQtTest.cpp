#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include "engine/ChainMocks.h"
#include "engine/ConnectorFakes.h"
#include "engine/MMConect_ui.h"
#include "platform/messages/messages.h"
#include "platform/system/threads.h"

// The event loop runs until the blocks have come; the guard timer only ends a failing run.
TEST(MMConect, UnderQtTheConnectorFeedsOnTheUiThreadFromThePreciseTimer) {
  UsePreciseFeedTimer();
  FakeDisplay level(256);
  LoggedDevice dev("in", nullptr, false);
  TMMConnector con;
  dev.SetOutput(&con);
  const WAVEFORMATEX f = PcmFormat(8000, 1, 8);
  dev.SetWaveFormat(&f);
  dev.SetBufferSize(1024);
  con.SetSynchronize(false);
  con.SetLevel1(&level);
  QEventLoop loop;
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);
  bool onUi = true;
  con.OnTrigger = [&](TObject*) {
    onUi = onUi && plat::IsUiThread();
    if (level.Count() == 4) loop.quit();
  };
  dev.ChainOpen();
  dev.ChainStart();
  plat::ProcessMessages();
  TestBuffer b(1024);
  std::vector<uint8_t> data(1024);
  for (size_t i = 0; i < data.size(); ++i) data[i] = PatternByte(i);
  dev.BufferReady(b.Fill(data));
  loop.exec();
  EXPECT_EQ(level.Stream(), data);
  EXPECT_TRUE(onUi);
  dev.ChainStop();
  SetConnectorFeedTimer(nullptr);
}
