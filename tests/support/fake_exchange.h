// Test doubles for the register catalogue's exchange: a script of request -> reply texts that
// records every request, and a small register table that answers catalogue queries like an instrument.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <functional>

// Answers requests from a script; unknown requests get no reply (a time-out).
class TFakeExchange
{
public:
    QList<QByteArray> Requests;
    QHash<QByteArray, QByteArray> Answers;
    // Asked when the script has no answer; empty = no reply.
    std::function<QByteArray(const QByteArray &request)> Fallback;

    void Answer(const QByteArray &request, const QByteArray &reply) { Answers[request] = reply; }
    // The reply of a successful request: its first 8 characters with the error flag clear, ":" and data.
    void AnswerOk(const QByteArray &request, const QByteArray &data);
    // A refusal with the given status bits.
    void AnswerError(const QByteArray &request, uint32_t status = 0x1000);
    QByteArray Exchange(const QByteArray &request);
    std::function<QByteArray(const QByteArray &)> Callback()
    {
        return [this](const QByteArray &r) { return Exchange(r); };
    }
    // Requests whose text starts with the prefix.
    int Count(const QByteArray &prefix) const;
};

// A register table that answers the catalogue's queries the way the instrument does.
class TFakeRegisters
{
public:
    struct TReg {
        int Type = 1;
        QByteArray Name;
        QByteArray Value;   // hex digits, or text for strings
        QByteArray Literal; // display text
        int Permission = 0;
        int Minimum = 0;
        int Maximum = 9999;
        QList<QByteArray> Options;
        QList<QPair<int, int>> Menu; // (register, menu key) of each item of a menu
        bool Refused = false;        // every query of this register is refused
    };
    QMap<int, TReg> Regs;
    QList<QByteArray> Requests;
    // Writes to registers (register -> value) in order.
    QList<QPair<int, QByteArray>> Writes;
    // Executed registers with their arguments.
    QList<QPair<int, QByteArray>> Executes;

    TReg &Add(int reg, int type, const QByteArray &name, const QByteArray &value = {},
              const QByteArray &literal = {});
    TReg &AddMenu(int reg, const QByteArray &name, QList<QPair<int, int>> items);
    QByteArray Exchange(const QByteArray &request);
    std::function<QByteArray(const QByteArray &)> Callback()
    {
        return [this](const QByteArray &r) { return Exchange(r); };
    }
    int Count(const QByteArray &prefix) const;
};
