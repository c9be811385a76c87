// A stand-in for an outside tool: writes its arguments and environment to the file named by
// BX_TOOL_DUMP, one "arg=" or "env=" line each, and renames it into place only when complete.
#include <cstdio>
#include <cstdlib>
#include <string>

extern char** environ;

int main(int argc, char** argv)
{
    const char* target = std::getenv("BX_TOOL_DUMP");
    if (target == nullptr)
        return 2;
    const std::string partial = std::string(target) + ".part";
    FILE* out = std::fopen(partial.c_str(), "w");
    if (out == nullptr)
        return 3;
    for (int i = 1; i < argc; ++i)
        std::fprintf(out, "arg=%s\n", argv[i]);
    for (char** variable = environ; *variable != nullptr; ++variable)
        std::fprintf(out, "env=%s\n", *variable);
    std::fclose(out);
    return std::rename(partial.c_str(), target) == 0 ? 0 : 4;
}
