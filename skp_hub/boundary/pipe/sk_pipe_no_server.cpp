// The plug-in's stand-in for the pipe's server end: the plug-in is a client only, so its library
// carries no server code (none of CreateNamedPipeW, ConnectNamedPipe and the server's threads). An
// endpoint asked to serve here reports that and serves nothing.
#include "sk_pipe_shared.h"

void CSKPipe::startServer()
{
    SKReportError(ERROR_NOT_SUPPORTED, L"CreateNamedPipe", L"no server end in this program");
}

int CSKPipe::CShared::createServerInstance(SKPipeInstance&)
{
    SKReportError(ERROR_NOT_SUPPORTED, L"CreateNamedPipe", L"no server end in this program");
    return 1;
}
