/* The SDK header's record layout, as a plug-in compiled against it sees it
 * (C, alone): compared with the engine's own records by FLT_test. */
#include <stddef.h>

#include "tavelo_effect.h"

#define E(x) (long long)(x)
const long long tv_sdk_layout[] = {
    E(sizeof(PF_World)), E(offsetof(PF_World, data)), E(offsetof(PF_World, extentHint)),
    E(offsetof(PF_World, kindMagic)),
    E(sizeof(PF_ParamDef)), E(offsetof(PF_ParamDef, type)), E(offsetof(PF_ParamDef, flags)),
    E(offsetof(PF_ParamDef, stream)), E(offsetof(PF_ParamDef, u)), E(sizeof(PF_ChangeRecord)),
    E(sizeof(PF_InData)), E(offsetof(PF_InData, utilCallbacks)), E(offsetof(PF_InData, effectRef)),
    E(offsetof(PF_InData, time)), E(offsetof(PF_InData, width)), E(offsetof(PF_InData, request)),
    E(offsetof(PF_InData, geometry)), E(offsetof(PF_InData, globalData)), E(offsetof(PF_InData, frameData)),
    E(offsetof(PF_InData, basicSuite)),
    E(sizeof(PF_OutData)), E(offsetof(PF_OutData, globalData)), E(offsetof(PF_OutData, paramCount)),
    E(offsetof(PF_OutData, width)), E(offsetof(PF_OutData, origin)), E(offsetof(PF_OutData, outFlags)),
    E(offsetof(PF_OutData, message)),
    E(sizeof(PF_UtilCallbacks)), E(offsetof(PF_UtilCallbacks, getBatchFunc)), E(offsetof(PF_UtilCallbacks, iterate)),
    E(offsetof(PF_UtilCallbacks, resizeHandle)), E(offsetof(PF_UtilCallbacks, newChunk)),
    E(offsetof(PF_UtilCallbacks, closeDestination)),
    E(sizeof(PF_SampleParams)), E(sizeof(PF_CompositeMode)), E(sizeof(PF_MaskWorld)), E(sizeof(PF_Destination)),
    E(sizeof(PF_BasicSuite)), E(sizeof(PF_AudioCall)), E(sizeof(PF_ParamsUpdate)),
    /* numbers */
    PF_Cmd_ArbitraryData, PF_Err_NotHandled, E(PF_OutFlag_AudioOnly), E(PF_OutFlag_FlagsMayDiffer),
    PF_Param_Type14, E(PF_ParamFlag_SUPERVISE), E(PF_PUI_STD_CONTROL_ONLY), E(PF_ChangeFlag_SET_TO_CONSTANT),
    PF_CallbackWords, PF_MessageBytes, -1};
