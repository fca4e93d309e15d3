#include "engine/Sequence.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/Exceptions.h"

namespace {

std::unique_ptr<TSmallIntArray> Bytes(std::initializer_list<int16_t> values) {
  return std::make_unique<TSmallIntArray>(values);
}

std::unique_ptr<TSequence> Step(int id, std::initializer_list<int16_t> params) {
  return std::make_unique<TSequence>(id, Bytes(params));
}

struct StepCase {
  const char* name;
  std::function<std::unique_ptr<TSequence>()> make;
  int serviceId;
  bool hasParams;
  std::vector<int16_t> params;
};

void PrintTo(const StepCase& c, std::ostream* os) { *os << c.name; }

class StepConstruction : public ::testing::TestWithParam<StepCase> {};

TEST_P(StepConstruction, GivesIdAndParameters) {
  const StepCase& c = GetParam();
  auto step = c.make();
  EXPECT_EQ(step->FServiceId, c.serviceId);
  ASSERT_EQ(step->FParams != nullptr, c.hasParams);
  if (c.hasParams) {
    EXPECT_EQ(step->FParams->Values(), c.params);
  }
  EXPECT_EQ(step->FTime, 0);
  EXPECT_EQ(step->FDestinationIndex, -1);
  EXPECT_EQ(step->FName, "");
  EXPECT_FALSE(step->FAppend);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StepConstruction,
    ::testing::Values(
        StepCase{"FromBytesStopsAtFirstAbsent",
                 [] { return TSequence::CreateFromBytes(0x21, 0x05, -1, 0x07, -1); }, 0x21, true,
                 {0x05}},
        StepCase{"FromBytesNoParams",
                 [] { return TSequence::CreateFromBytes(0x3E, -1, -1, -1, -1); }, 0x3E, false, {}},
        StepCase{"FromBytesAllFour",
                 [] { return TSequence::CreateFromBytes(0x1A, 0x80, 0x00, 0xFF, 0x10); }, 0x1A,
                 true, {0x80, 0x00, 0xFF, 0x10}},
        StepCase{"FromBytesOver255Ends",
                 [] { return TSequence::CreateFromBytes(0x18, 0x02, 256, 0x01, -1); }, 0x18, true,
                 {0x02}},
        StepCase{"FromBytesBadId", [] { return TSequence::CreateFromBytes(-5, 1, 2, 3, 4); }, -1,
                 false, {}},
        StepCase{"CreateIdTooLarge", [] { return Step(256, {1, 2}); }, -1, false, {}},
        StepCase{"CreateNegativeId", [] { return Step(-1, {1}); }, -1, false, {}},
        StepCase{"CreateKeepsArray", [] { return Step(0x21, {0x01, 0x02}); }, 0x21, true,
                 {0x01, 0x02}},
        StepCase{"CreateNullArray", [] { return std::make_unique<TSequence>(0x10, nullptr); }, 0x10,
                 false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Sequence, CloneIsIndependentAndHasTimeZero) {
  TSequence source(0x61, Bytes({1, 2, 3}));
  source.FTime = 1234;
  source.FData = 77;
  source.FName = "DataWithDestination";
  source.FDestinationIndex = 3;
  source.FAppend = true;
  auto clone = source.Clone();
  EXPECT_EQ(clone->FTime, 0);
  EXPECT_EQ(clone->FServiceId, 0x61);
  EXPECT_EQ(clone->FData, 77);
  EXPECT_EQ(clone->FName, "DataWithDestination");
  EXPECT_EQ(clone->FDestinationIndex, 3);
  EXPECT_TRUE(clone->FAppend);
  ASSERT_NE(clone->FParams.get(), source.FParams.get());
  source.FParams->Set(0, 99);
  EXPECT_EQ(clone->FParams->Get(0), 1);
}

TEST(SequenceList, CloneKeepsNameOrderAndNullItems) {
  TSequenceList list;
  list.FName = "ContReadData";
  list.Add(Step(0x21, {0x01}));
  list.Add(nullptr);
  list.Add(Step(0x21, {0x02}));
  auto clone = list.Clone();
  EXPECT_EQ(clone->FName, "ContReadData");
  ASSERT_EQ(clone->Count(), 3);
  EXPECT_EQ(clone->Items(0)->FParams->Get(0), 0x01);
  EXPECT_EQ(clone->Items(1), nullptr);
  EXPECT_EQ(clone->Items(2)->FParams->Get(0), 0x02);
  EXPECT_NE(clone->Items(0), list.Items(0));
}

TEST(SequenceList, ItemsOutsideRaiseListError) {
  auto list = TSequenceList::CreateWithStep(nullptr);
  EXPECT_EQ(list->Count(), 1);
  EXPECT_THROW(list->Items(1), plat::EListError);
  EXPECT_THROW(list->Items(-1), plat::EListError);
}

TEST(SequenceObject, InsertAfterIndexTable) {
  struct Case {
    int index;
    int countAfter;
    int nullAt;  // -1: nothing inserted
  };
  for (Case c : {Case{0, 3, 1}, Case{1, 3, 2}, Case{2, 2, -1}, Case{-1, 2, -1}}) {
    TSequenceObject object(skExecuteSequence);
    object.AddRequest(Step(0x21, {1}));
    object.AddRequest(Step(0x21, {2}));
    object.InsertEmptyRequest(c.index);
    EXPECT_EQ(object.RequestCount(), c.countAfter) << c.index;
    if (c.nullAt >= 0) {
      EXPECT_FALSE(object.HasRequest(c.nullAt)) << c.index;
    }
  }
}

TEST(SequenceObject, InsertRequestPutsCloneAfterCurrentOrFreesIt) {
  TSequenceObject object(skExecuteSequence);
  object.AddRequest(Step(0x21, {1}));
  object.InsertRequest(0, object.GetRequest(0)->Clone());
  EXPECT_EQ(object.RequestCount(), 2);
  EXPECT_EQ(object.RequestServiceId(1), 0x21);
  object.InsertRequest(5, Step(0x22, {}));  // out of range: freed (checked by LeakSanitizer)
  EXPECT_EQ(object.RequestCount(), 2);
  TSequenceObject empty(skExecuteSequence);
  empty.InsertRequest(0, Step(0x22, {}));
  empty.InsertEmptyRequest(0);
  EXPECT_FALSE(empty.HasRequestList());
}

TEST(SequenceObject, SetRequestReplacesStep) {
  auto object = TSequenceObject::CreateWithStep(nullptr, skExecuteSequence);
  object->SetRequest(0, Step(0x1A, {0x80}));
  EXPECT_EQ(object->RequestServiceId(0), 0x1A);
  object->SetRequest(0, Step(0x1A, {0x81}));  // the replaced step is freed
  EXPECT_EQ(object->RequestParams(0)->Get(0), 0x81);
  object->SetRequest(1, Step(0x1A, {}));
  EXPECT_EQ(object->RequestCount(), 1);
}

TEST(SequenceObject, AbsentStepsReadAsEmpty) {
  TSequenceObject object(skExecuteSequence);
  EXPECT_EQ(object.RequestServiceId(0), -1);
  EXPECT_EQ(object.RequestParamCount(0), 0);
  EXPECT_EQ(object.ResponseCount(), 0);
  EXPECT_EQ(object.GetResponse(0), nullptr);
  EXPECT_EQ(object.ResponseServiceId(0), -1);
  EXPECT_EQ(object.ResponseParams(0), nullptr);
  EXPECT_EQ(object.ResponseParamCount(0), 0);
  EXPECT_EQ(object.ResponseTime(0), 0);
  object.SetResponseTime(0, 55);
  EXPECT_EQ(object.ResponseCount(), 0);
  EXPECT_EQ(object.RequestCount(), 0);
  EXPECT_EQ(object.GetName(), "");
  object.AddRequest(nullptr);  // a receive-only step
  EXPECT_EQ(object.RequestServiceId(0), -1);
  EXPECT_EQ(object.RequestParamCount(0), 0);
}

TEST(SequenceObject, ResponsesByIndex) {
  TSequenceObject object(skExecuteSequence);
  object.AddResponse(Step(0x61, {0x01, 0x02}));
  object.AddResponse(nullptr);
  object.SetResponseTime(0, 1500);
  EXPECT_EQ(object.ResponseCount(), 2);
  EXPECT_EQ(object.ResponseTime(0), 1500);
  EXPECT_EQ(object.ResponseParamCount(0), 2);
  EXPECT_EQ(object.ResponseServiceId(1), -1);
  EXPECT_EQ(object.ResponseParamCount(1), 0);
}

TEST(SequenceObject, KindsOutsideOneToThreeKeepNoList) {
  for (TSequenceKind kind : {0, 4, 255}) {
    auto list = std::make_unique<TSequenceList>();
    list->FName = "x";
    TSequenceObject object(std::move(list), kind);
    EXPECT_FALSE(object.HasRequestList());
    EXPECT_EQ(object.GetName(), "");
    EXPECT_EQ(object.GetKind(), kind);
    EXPECT_FALSE(TSequenceObject::CreateFromService(0x3E, Bytes({1}), kind)->HasRequestList());
    EXPECT_FALSE(TSequenceObject::CreateWithStep(Step(1, {}), kind)->HasRequestList());
  }
  for (TSequenceKind kind : {1, 2, 3}) {
    auto object = TSequenceObject::CreateFromService(0x3E, nullptr, kind);
    EXPECT_EQ(object->RequestCount(), 1);
    EXPECT_EQ(object->RequestServiceId(0), 0x3E);
    EXPECT_EQ(object->RequestParamCount(0), 0);
  }
}

TEST(SequenceObject, NamedListIsKept) {
  auto list = std::make_unique<TSequenceList>();
  list->FName = "ContReadData";
  list->Add(nullptr);
  TSequenceObject object(std::move(list), skExecuteSequence);
  EXPECT_EQ(object.GetName(), "ContReadData");
  EXPECT_FALSE(object.HasRequest(0));
  EXPECT_EQ(object.RequestCount(), 1);
}

}  // namespace
