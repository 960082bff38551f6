#pragma once

#include "FakeHttpServer.h"

#include <QByteArray>
#include <QMap>
#include <QUrlQuery>
#include <functional>
#include <memory>

namespace tw {

// Answers a FakeHttpServer's requests by method and path ("GET /rest/x"),
// query ignored; anything without a route gets 404 "no route". Routes may be
// changed while the server runs: the server's handler reads them through a
// shared table.
class FakeServerRoutes
{
public:
    using Request = FakeHttpServer::Request;
    using Response = FakeHttpServer::Response;
    using Answer = std::function<Response(const Request &)>;

    explicit FakeServerRoutes(FakeHttpServer &server)
    {
        server.setHandler([table = m_table](const Request &request) {
            const auto it = table->constFind(request.method + ' ' + request.path());
            return it == table->constEnd() ? Response::text(404, "no route") : (*it)(request);
        });
    }

    void on(const QByteArray &methodAndPath, Answer answer) { m_table->insert(methodAndPath, std::move(answer)); }
    void on(const QByteArray &methodAndPath, Response response)
    {
        on(methodAndPath, [response](const Request &) { return response; });
    }
    void onJson(const QByteArray &methodAndPath, const QByteArray &body) { on(methodAndPath, Response::json(body)); }

    // A query item of a request, percent-decoding undone.
    static QString queryItem(const Request &request, const QString &name)
    {
        const QUrlQuery query(QString::fromUtf8(request.query().value_or(QByteArray())));
        return query.queryItemValue(name, QUrl::FullyDecoded);
    }

private:
    std::shared_ptr<QMap<QByteArray, Answer>> m_table = std::make_shared<QMap<QByteArray, Answer>>();
};

} // namespace tw
