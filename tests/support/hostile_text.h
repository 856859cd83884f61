// Generated text that hand-written media files and command lines may hold: damaged copies of
// the sample's files, junk around planted profile entries, values no author meant.
#ifndef TESTS_SUPPORT_HOSTILE_TEXT_H
#define TESTS_SUPPORT_HOSTILE_TEXT_H

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace vxtest
{

class Random;  // support/pdi_process.h

// Pairs of lead and trail bytes of the system's double-byte code page.
std::string DoubleByteText(Random& random, size_t cPairs);
// A value from the words media and command lines carry to the bytes none should.
std::string HostileValue(Random& random, bool fDoubleByte);
std::string RandomBytes(Random& random, size_t cb);

// A hand-authored file gone wrong: one to three of the ways such files break, with the keys of
// the information file or of the model file.
std::string MutatedFile(Random& random, const std::string& sOriginal, const char* const* ppszKeys, size_t cKeys);
std::string MutatedAutorun(Random& random, const std::string& sOriginal);
std::string MutatedModels(Random& random, const std::string& sOriginal);

// Junk lines over a small alphabet around planted blocks "[p<n>]" / "pk<n>=pv<n>"; the numbers
// planted go to *pPlanted.
std::string FuzzProfileText(std::mt19937& random, std::vector<int>* pPlanted);

}  // namespace vxtest

#endif
