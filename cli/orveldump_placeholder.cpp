// Placeholder orveldump that proves the cli/ build; removed at merge.
#include <cstdio>

int main(int argc, char** argv)
{
    for (int i = 0; i < argc; ++i)
        std::printf("arg %d: %s\n", i, argv[i]);
    return 0;
}
