/* A suite plug-in of the current interface: at start it adds "SMPL Demo
   Suite" 1.1 and keeps a counter in a block of the suite system; "SMPL"
   "Count" messages count up and answer the count through the payload. */
#include <stdint.h>
#include <string.h>

typedef int32_t ErrorCode;
typedef struct Basic {
  ErrorCode (*acquireSuite)(const char* name, int32_t major, const void** suite);
  ErrorCode (*releaseSuite)(const char* name, int32_t major);
  int32_t (*isEqual)(const char* a, const char* b);
  ErrorCode (*allocateBlock)(uint32_t size, void** block);
  ErrorCode (*freeBlock)(void* block);
  ErrorCode (*reallocateBlock)(void* block, uint32_t size, void** moved);
  ErrorCode (*undefined)(void);
} Basic;
typedef struct Message {
  const Basic* basic;
  void* self;
  void* data;
  void* payload;
} Message;
typedef struct Suites {
  ErrorCode (*addSuite)(const char* name, int32_t major, int32_t minor, const void* procs);
} Suites;
typedef struct Demo {
  int32_t (*twice)(int32_t v);
} Demo;

static int32_t Twice(int32_t v) { return 2 * v; }
static const Demo kDemo = {Twice};

__attribute__((visibility("default"))) ErrorCode tv_suite_entry(const char* caller, const char* selector,
                                                                 Message* m) {
  if (strcmp(caller, "BR Interface") == 0 && strcmp(selector, "Startup") == 0) {
    const Suites* suites = 0;
    ErrorCode err = m->basic->acquireSuite("BR Suites Suite", 2, (const void**)&suites);
    if (!err) err = suites->addSuite("SMPL Demo Suite", 1, 1, &kDemo);
    m->basic->releaseSuite("BR Suites Suite", 2);
    if (!err) err = m->basic->allocateBlock(sizeof(int32_t), &m->data);
    if (!err) *(int32_t*)m->data = 0;
    return err;
  }
  if (strcmp(caller, "BR Interface") == 0 && strcmp(selector, "Shutdown") == 0) return m->basic->freeBlock(m->data);
  if (strcmp(caller, "SMPL") == 0 && strcmp(selector, "Count") == 0) {
    int32_t* n = (int32_t*)m->data;
    ++*n;
    if (m->payload) *(int32_t*)m->payload = *n;
    return 0;
  }
  return 99;
}
