/* A suite plug-in of interface version 2: no message record, only its data
   word and the host procedures. At start it adds "SMPL Old Suite" 1.1 and
   keeps a counter in a block from the host's allocator; "SMPL" "Count"
   counts up and answers the count. */
#include <stddef.h>
#include <stdint.h>
#include <string.h>

typedef int32_t ErrorCode;
typedef ErrorCode (*Proc)(void);
typedef void* (*AllocProc)(size_t size);
typedef void (*FreeProc)(void* block);
typedef ErrorCode (*AddSuiteProc)(const char* name, int32_t major, int32_t minor, const void* procs);

static int32_t Triple(int32_t v) { return 3 * v; }
static int32_t (*const kOld[1])(int32_t) = {Triple};

__attribute__((visibility("default"))) ErrorCode tv_suite_entry(const char* caller, const char* selector,
                                                                 void** data, const Proc* host) {
  if (strcmp(caller, "BR Interface") == 0 && strcmp(selector, "Startup") == 0) {
    ErrorCode err = ((AddSuiteProc)(void (*)(void))host[13])("SMPL Old Suite", 1, 1, kOld);
    if (err) return err;
    *data = ((AllocProc)(void (*)(void))host[0])(sizeof(int32_t));
    if (!*data) return 4;
    *(int32_t*)*data = 100;
    return 0;
  }
  if (strcmp(caller, "BR Interface") == 0 && strcmp(selector, "Shutdown") == 0) {
    ((FreeProc)(void (*)(void))host[2])(*data);
    *data = NULL;
    return 0;
  }
  if (strcmp(caller, "SMPL") == 0 && strcmp(selector, "Count") == 0) return ++*(int32_t*)*data;
  return 99;
}
