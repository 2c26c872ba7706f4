#include <gtest/gtest.h>

#include "engine/MMObj.h"
#include "engine/MMObserv.h"

namespace {

struct Counter : TMMObject {
  int changes = 0, changing = 0;
  Counter() {
    OnChange = [this](TObject*) { ++changes; };
    OnChanging = [this](TObject*) { ++changing; };
  }
  void Touch() { Changed(); }
};

}  // namespace

TEST(MMObj, OneChangeNoticePerBatch) {
  Counter c;
  c.BeginUpdate();
  c.BeginUpdate();
  for (int i = 0; i < 13; ++i) c.Touch();  // silent inside the batch
  EXPECT_EQ(c.changes, 0);
  EXPECT_EQ(c.changing, 1);
  c.EndUpdate();
  EXPECT_EQ(c.changes, 0);
  c.EndUpdate();
  EXPECT_EQ(c.changes, 1);
  c.EndUpdate();  // unbalanced: ignored
  EXPECT_EQ(c.changes, 1);
  c.Touch();
  EXPECT_EQ(c.changes, 2);
}

TEST(MMObj, MessageTableAndDeviceIds) {
  EXPECT_EQ(LoadLibraryMessage(60), "Change to property while device was open");
  EXPECT_EQ(LoadLibraryMessage(62), "Invalid WaveFormat");
  EXPECT_EQ(LoadLibraryMessage(70), "The actual device can't play this format");
  EXPECT_EQ(LoadLibraryMessage(9999), "");
  EXPECT_EQ(DeviceIdToIdent(MapperId), "MapperId");
  EXPECT_EQ(DeviceIdToIdent(InvalidId), "InvalidId");
  EXPECT_EQ(DeviceIdToIdent(3), "3");
  TMMDeviceId id = 0;
  EXPECT_TRUE(IdentToDeviceId("mapperid", id));
  EXPECT_EQ(id, MapperId);
  EXPECT_TRUE(IdentToDeviceId("InvalidId", id));
  EXPECT_EQ(id, InvalidId);
  EXPECT_TRUE(IdentToDeviceId("2", id));
  EXPECT_EQ(id, 2);
  EXPECT_FALSE(IdentToDeviceId("two", id));
}

TEST(MMObj, DesignStateReachesOwnedComponents) {
  auto* root = new TMMComponent(nullptr);
  auto* child = new TMMNonVisualComponent(root);
  auto* plain = new TComponent(root);
  root->SetDesignState(true);
  EXPECT_TRUE(root->IsDesigning());
  EXPECT_TRUE(child->IsDesigning());
  EXPECT_TRUE(plain->IsDesigning());
  delete root;
}

TEST(MMObserv, NoticesRunFromLastToFirst) {
  TMMObservable subject;
  TMMObserver a, b, c;
  std::string order;
  a.OnNotify = [&](TObject*, void*) { order += 'A'; };
  b.OnNotify = [&](TObject*, void*) { order += 'B'; };
  c.OnNotify = [&](TObject*, void* d) { order += *static_cast<char*>(d); };
  subject.AddObserver(&a);
  subject.AddObserver(&b);
  subject.AddObserver(&c);
  char data = 'C';
  subject.Notify(&data);
  EXPECT_EQ(order, "CBA");
  b.SetLocked(true);
  subject.SetLocked(false);
  order.clear();
  subject.Notify(&data);
  EXPECT_EQ(order, "CA");
  subject.SetLocked(true);
  order.clear();
  subject.Notify(&data);
  EXPECT_EQ(order, "");
}

TEST(MMObserv, AddingMovesAnObserver) {
  TMMObservable first, second;
  TMMObserver o;
  int hits = 0;
  o.OnNotify = [&](TObject*, void*) { ++hits; };
  first.AddObserver(&o);
  second.AddObserver(&o);
  EXPECT_EQ(o.Observable(), &second);
  first.Notify(nullptr);
  EXPECT_EQ(hits, 0);
  second.Notify(nullptr);
  EXPECT_EQ(hits, 1);
  first.RemoveObserver(&o);  // not its observable: nothing happens
  EXPECT_EQ(o.Observable(), &second);
  first.AddObserver(nullptr);
  EXPECT_EQ(first.ObserverCount(), 0);
}

TEST(MMObserv, FreedObservableLeavesObserversDetached) {
  auto* subject = new TMMObservable;
  auto* o1 = new TMMObserver;
  auto* o2 = new TMMObserver;
  subject->AddObserver(o1);
  subject->AddObserver(o2);
  delete subject;
  EXPECT_EQ(o1->Observable(), nullptr);
  EXPECT_EQ(o2->Observable(), nullptr);
  delete o1;
  delete o2;
}

TEST(MMObserv, ObserverDetachingDuringNotice) {
  TMMObservable subject;
  TMMObserver a, b;
  int aHits = 0;
  a.OnNotify = [&](TObject*, void*) { ++aHits; };
  b.OnNotify = [&](TObject*, void*) { subject.RemoveObserver(&a); };
  subject.AddObserver(&a);
  subject.AddObserver(&b);
  subject.Notify(nullptr);  // b runs first and detaches a, which is then skipped
  EXPECT_EQ(aHits, 0);
  EXPECT_EQ(subject.ObserverCount(), 1);
}
