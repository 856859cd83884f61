// Allocation failure on demand. Linking a test that uses it replaces the program's operator
// new: the n-th allocation of the armed thread throws std::bad_alloc, once.
#ifndef TESTS_SUPPORT_ALLOCATION_FAILURE_H
#define TESTS_SUPPORT_ALLOCATION_FAILURE_H

namespace vxtest
{

// Arms the failure for the calling thread: its n-th allocation from now on throws.
void ArmAllocationFailure(long n);
// Disarms; true when the armed failure happened.
bool DisarmAllocationFailure();

}  // namespace vxtest

#endif
