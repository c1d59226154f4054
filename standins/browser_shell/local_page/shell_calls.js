// How the page talks to the side bar. A command goes out with an argument object; when the
// object names a callback, the side bar answers by running a script that calls that function.
// Events are page functions with fixed names that the side bar calls on its own.
//
// The side bar takes the page's commands one at a time, in order, and runs each answer before it
// takes the next command. So once a later command has been answered, an earlier one that has not
// been answered never will be: ask() then reports "no answer" rather than waiting. The later
// command is IsInClient, which always answers.
window.sideBar = (() => {
  'use strict';
  const shell = window.velmoraShell;  // the shell's way in; missing outside the side bar
  const waiting = new Map();  // call number -> settle(answered, value)
  const listeners = new Map();  // event function name -> handlers
  let sequence = 0;

  function send(name, argumentObject) {
    if (!shell) return false;
    shell.call(name, JSON.stringify(['', JSON.stringify(argumentObject)]));
    return true;
  }

  // A command that wants an answer: resolves to {answered, value}.
  function ask(name, args = {}) {
    const number = ++sequence;
    const callbackName = '__sideBarAnswer' + number;
    const fenceName = '__sideBarFence' + number;
    return new Promise((resolve) => {
      const settle = (answered, value) => {
        if (!waiting.delete(number)) return;
        delete window[callbackName];
        resolve({answered, value});
      };
      waiting.set(number, settle);
      window[callbackName] = (value) => settle(true, value);
      window[fenceName] = () => {
        delete window[fenceName];
        for (const [earlier, pending] of [...waiting]) {
          if (earlier <= number) pending(false);
        }
      };
      if (!send(name, Object.assign({}, args, {callbackName})) || !send('IsInClient', {callbackName: fenceName})) {
        settle(false);
      }
    });
  }

  // A command without an answer.
  function tell(name, args = {}) {
    send(name, args);
  }

  // Handles an event the side bar sends by calling the page function `name`.
  function on(name, handler) {
    if (!listeners.has(name)) {
      listeners.set(name, []);
      window[name] = (...values) => {
        for (const each of listeners.get(name)) {
          try {
            each(...values);
          } catch (error) {
            console.error(name, error);
          }
        }
      };
    }
    listeners.get(name).push(handler);
  }

  return {ask, tell, on, insideSideBar: Boolean(shell)};
})();
