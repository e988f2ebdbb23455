#include "invocation.h"

#include "filenames.h"
#include "output.h"
#include "session.h"

Invocation::Invocation(ParsedArguments args, Output &out) : m_args(std::move(args)), m_out(out) {}

Invocation::~Invocation() = default;

bool Invocation::flag(const char *longName) const
{
    return m_args.flags.count(longName) > 0;
}

std::optional<QByteArray> Invocation::value(const char *longName) const
{
    const auto it = m_args.values.find(longName);
    if (it == m_args.values.end())
        return std::nullopt;
    return it->second;
}

std::optional<QString> Invocation::text(const char *longName) const
{
    if (const auto bytes = value(longName))
        return decodeFileName(*bytes);
    return std::nullopt;
}

CommandSession &Invocation::session()
{
    if (!m_session)
        m_session = std::make_unique<CommandSession>();
    return *m_session;
}

void Invocation::usage(const std::string &what) const
{
    throw UsageError(what, m_args.command);
}
