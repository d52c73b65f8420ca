// The SDK header (compiled as C in sdk_layout.c) describes the engine's
// records exactly: sizes, offsets and numbers.
#include <cstddef>

#include "FLT_test_support.h"
#include "PF.h"
#include "PLUG.h"

extern "C" const long long tv_sdk_layout[];

namespace tv::test {
namespace {

#define E(x) static_cast<long long>(x)
TEST(FLTSdk, LayoutMatchesTheEngine) {
  const long long engine[] = {
      E(sizeof(PFWorld)), E(offsetof(PFWorld, data)), E(offsetof(PFWorld, extentHint)),
      E(offsetof(PFWorld, kindMagic)),
      E(sizeof(PF_ParamDef)), E(offsetof(PF_ParamDef, type)), E(offsetof(PF_ParamDef, flags)),
      E(offsetof(PF_ParamDef, stream)), E(offsetof(PF_ParamDef, u)), E(sizeof(PF_ChangeRecord)),
      E(sizeof(PF_InputRecord)), E(offsetof(PF_InputRecord, utilCallbacks)), E(offsetof(PF_InputRecord, effectRef)),
      E(offsetof(PF_InputRecord, time)), E(offsetof(PF_InputRecord, width)), E(offsetof(PF_InputRecord, request)),
      E(offsetof(PF_InputRecord, geometry)), E(offsetof(PF_InputRecord, globalData)),
      E(offsetof(PF_InputRecord, frameData)), E(offsetof(PF_InputRecord, basicSuite)),
      E(sizeof(PF_OutputRecord)), E(offsetof(PF_OutputRecord, globalData)), E(offsetof(PF_OutputRecord, paramCount)),
      E(offsetof(PF_OutputRecord, width)), E(offsetof(PF_OutputRecord, origin)),
      E(offsetof(PF_OutputRecord, outFlags)), E(offsetof(PF_OutputRecord, message)),
      E(sizeof(PF_UtilCallbacks)), E(offsetof(PF_UtilCallbacks, getBatchFunc)),
      E(offsetof(PF_UtilCallbacks, iterate)), E(offsetof(PF_UtilCallbacks, resizeHandle)),
      E(offsetof(PF_UtilCallbacks, newChunk)), E(offsetof(PF_UtilCallbacks, closeDestination)),
      E(sizeof(PF_SampleParams)), E(sizeof(PF_CompositeMode)), E(sizeof(PF_MaskWorld)), E(sizeof(PF_Destination)),
      E(sizeof(PLUG_BasicSuite)), E(sizeof(PF_AudioCall)), E(sizeof(PF_ParamsUpdate)),
      PF_Cmd_ArbitraryData, PF_Result_NotHandled, E(PF_OutFlag_AudioOnly), E(PF_OutFlag_FlagsMayDiffer),
      PF_Param_Type14, E(PF_ParamFlag_SUPERVISE), E(PF_PUI_STD_CONTROL_ONLY), E(PF_ChangeFlag_SET_TO_CONSTANT),
      PF_CallbackWords, PF_MessageBytes, -1};
  for (size_t i = 0; i < std::size(engine); ++i) {
    ASSERT_EQ(tv_sdk_layout[i], engine[i]) << "entry " << i;
    if (engine[i] == -1) break;
  }
  // The callback block is 71 pointer-sized words on both sides.
  EXPECT_EQ(sizeof(PF_UtilCallbacks), PF_CallbackWords * sizeof(void*));
}

}  // namespace
}  // namespace tv::test
