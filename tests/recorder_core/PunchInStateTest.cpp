// The punch-in marks and the limit they shorten, without the deck or its windows.
#include <gtest/gtest.h>

#include "recorder/PunchIn.h"

TEST(PunchInState, TheFirstMarkPlacesTheOtherAtTheSlidersEnd) {
  TPunchIn begin;
  EXPECT_TRUE(begin.MarkBegin(3000, 10000)) << "the end mark comes with it: Record goes off";
  EXPECT_EQ(3000, begin.BeginMark());
  EXPECT_EQ(10000, begin.EndMark());
  EXPECT_TRUE(begin.BeginMarkSet() && begin.EndMarkSet() && begin.Used());
  EXPECT_FALSE(begin.MarkBegin(4000, 20000)) << "an end mark placed stays";
  EXPECT_EQ(10000, begin.EndMark());

  TPunchIn end;
  EXPECT_TRUE(end.MarkEnd(6000, 500));
  EXPECT_EQ(500, end.BeginMark());
  EXPECT_EQ(6000, end.EndMark());
  EXPECT_TRUE(end.BeginMarkSet() && end.EndMarkSet() && end.Used());
}

TEST(PunchInState, AMarkOutOfOrderGoesOntoTheOtherMark) {
  TPunchIn p;
  p.MarkBegin(2000, 10000);
  p.MarkEnd(6000, 0);
  EXPECT_FALSE(p.BeginPassesEnd(6000)) << "on the end mark is in order";
  ASSERT_TRUE(p.BeginPassesEnd(7000));
  p.MarkBegin(7000, 10000);
  EXPECT_EQ(6000, p.BeginMark());

  p.MarkBegin(4000, 10000);
  EXPECT_FALSE(p.EndBeforeBegin(4000));
  ASSERT_TRUE(p.EndBeforeBegin(3000));
  EXPECT_FALSE(p.MarkEnd(3000, 0)) << "not at the position: Record keeps its state";
  EXPECT_EQ(4000, p.EndMark());
  EXPECT_EQ(4000, p.BeginMark());
}

TEST(PunchInState, WindingCarriesAMarkAndPositionsKeepInside) {
  TPunchIn p;
  EXPECT_FALSE(p.WindForward(9000)) << "no end mark to carry";
  EXPECT_EQ(9000, p.Within(9000)) << "no marks: nothing holds the position";
  p.MarkBegin(2000, 10000);
  p.MarkEnd(6000, 0);
  EXPECT_EQ(6000, p.Within(8000));
  EXPECT_EQ(2000, p.Within(1000));
  EXPECT_EQ(4000, p.Within(4000));

  EXPECT_FALSE(p.WindForward(6000));
  EXPECT_TRUE(p.WindForward(7000));
  EXPECT_EQ(7000, p.EndMark());
  EXPECT_FALSE(p.WindBack(2000));
  EXPECT_TRUE(p.WindBack(1500));
  EXPECT_EQ(1500, p.BeginMark());
  EXPECT_TRUE(p.WindBack(-500)) << "Rewind past the start";
  EXPECT_EQ(0, p.BeginMark());
  EXPECT_TRUE(p.WindBack(-1)) << "a negative step is always a move, even onto a mark at 0";
}

TEST(PunchInState, ClosingGivesBackTheFirstSavedLimitAndForgetsEverything) {
  TPunchIn p;
  p.SaveLimit(0);
  EXPECT_EQ(0, p.FullLimit()) << "an input without a limit has nothing to save";
  p.MarkBegin(2000, 10000);
  p.SaveLimit(9000);
  p.SaveLimit(4000);  // a second punch-in, already shortened
  EXPECT_EQ(9000, p.FullLimit());
  p.RequestOutro();
  EXPECT_EQ(9000, p.Close());
  EXPECT_EQ(0, p.FullLimit());
  EXPECT_EQ(0, p.BeginMark());
  EXPECT_EQ(0, p.EndMark());
  EXPECT_FALSE(p.BeginMarkSet() || p.EndMarkSet() || p.Used() || p.OutroRequested());
  EXPECT_EQ(0, p.Close()) << "nothing saved: the input keeps its own limit";
}

TEST(PunchInState, AnOutroRequestIsUsedOnce) {
  TPunchIn p;
  EXPECT_FALSE(p.TakeOutroRequest());
  p.RequestOutro();
  EXPECT_TRUE(p.OutroRequested());
  EXPECT_TRUE(p.TakeOutroRequest());
  EXPECT_FALSE(p.TakeOutroRequest());
}
