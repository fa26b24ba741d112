// A loadable library that exports none of the camera SDK's operations.
extern "C" __attribute__((visibility("default"))) int notTheCameraSdk()
{
    return 0;
}
