// The deck's bars and meters behind a connector in a chain: fed block by block, reset on stop,
// forgotten by the connector when they go.
#include <cstring>

#include "DisplaysTest.h"
#include "engine/ChainMocks.h"
#include "engine/ConnectorFakes.h"
#include "platform/messages/messages.h"
#include "recorder/DeckDisplays.h"

using namespace plat;

TEST_F(DisplayTest, ConnectorFeedsTheDeckBarsAndMeters) {
  while (ProcessMessages()) {
  }
  ManualFeedTimer timer;
  SetConnectorFeedTimer(&timer);
  auto* left = Place<TMMLevel>(8, 8);
  auto* right = Place<TMMLevel>(8, 60);
  auto* meter = Place<TMMMeter>(8, 110);
  SetUpDeckLevel(*left, chLeft);
  SetUpDeckLevel(*right, chRight);
  SetUpDeckMeter(*meter, chRight);
  {
    LoggedDevice dev{"in", nullptr, false};
    TMMConnector con;
    ByteSink sink;
    dev.SetOutput(&con);
    con.SetOutput(&sink);
    const WAVEFORMATEX f = Pcm(16, 2, 44100);
    dev.SetWaveFormat(&f);
    dev.SetBufferSize(4000);
    con.SetRealTime(false);
    con.SetSynchronize(false);
    con.SetLevel1(left);
    con.SetLevel2(right);
    con.SetMeter1(meter);
    EXPECT_EQ(left->BlockBytes(), 200);  // the connector gave the stream's format on assignment
    dev.ChainOpen();
    dev.ChainStart();
    while (ProcessMessages()) {
    }

    // Twenty blocks: the left channel at full scale in the last one only, the right at -6 dB.
    std::vector<int16_t> audio(2000);
    for (size_t i = 0; i < audio.size(); i += 2) audio[i + 1] = 16384;
    audio[1990] = 32767;
    TestBuffer buffer(4000);
    std::vector<uint8_t> bytes(4000);
    std::memcpy(bytes.data(), audio.data(), 4000);
    dev.BufferReady(buffer.Fill(bytes));
    EXPECT_EQ(con.BlocksFed(dkLevel), 20);
    EXPECT_EQ(left->Spots(), 187);
    EXPECT_EQ(right->Spots(), 155);
    EXPECT_EQ(right->PeakSpots(), 155);
    EXPECT_EQ(meter->Value(), 50);

    // A stopped chain clears its displays (RefreshOnStop); the screen shows them at rest.
    dev.ChainStop();
    EXPECT_EQ(left->Spots(), 0);
    EXPECT_EQ(right->PeakSpots(), 0);
    EXPECT_EQ(meter->Needle(), 0);
    EXPECT_EQ(At(*left, 2, 2), BGR(clTeal));
    dev.ChainClose();

    // A display that goes is forgotten by the connector.
    right->Free();
    EXPECT_EQ(con.Level2(), nullptr);
    EXPECT_EQ(con.Level1(), static_cast<TMMDisplayFeed*>(left));
  }
  while (ProcessMessages()) {
  }
  SetConnectorFeedTimer(nullptr);
}
