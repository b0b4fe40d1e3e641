#pragma once
// The handlers of the five commands; each reads its arguments from the device and answers it.
namespace kv::core {

void SAVE(int port);
void LOAD(int port);
void ERASE_(int port);
void CAT(int port);
void PRINT_(int port);

}  // namespace kv::core
