#include "engine/KwpProtocol.h"

// The base protocol does nothing and reports failure; only its descendants are handed to a worker.

bool TKwpProtocol::StartTester(TSequenceObject*) {
  return false;
}

bool TKwpProtocol::SeqTester(TSequenceObject*) {
  return false;
}

bool TKwpProtocol::StopTester(TSequenceObject*) {
  return false;
}

bool TKwpProtocol::Reserved1(intptr_t) {
  return false;
}

void TKwpProtocol::Reserved2(intptr_t) {}

void TKwpProtocol::Reserved3(intptr_t) {}

void TKwpProtocol::IdleTimeout() {}
